#include "session/protocol_engine.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "common/loader_error.h"
#include "log/log_view.h"
#include "log/text.h"
#include "protocol/crc.h"
#include "protocol/messages.h"

namespace ov {

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// A signed 16-bit word in "%04x" after its sign is extended: 0x8001 reads ffff8001.
std::string SignedHex(std::uint16_t word) {
    char text[16];
    std::snprintf(text, sizeof(text), "%04x",
                  static_cast<unsigned>(static_cast<int>(static_cast<std::int16_t>(word))));
    return text;
}

std::uint16_t Word(const std::uint8_t* frame, std::size_t offset) {
    return static_cast<std::uint16_t>(GetLittleEndian(frame + offset, 2));
}

bool CrcOk(const std::uint8_t* frame) { return FrameCrcOk(frame, FrameCheckedLength(frame)); }

// The message a step shows for each failing reply status it defines (1 and up; 0 accepts the
// frame and shows nothing). A status past the table is one the boot loader does not define for
// that step, and shows the step's unknown error.
template <std::size_t N>
struct StatusMessages {
    std::array<ReplyMessage, N> byStatus;  // statuses 1 to N
    ReplyMessage unknown;

    constexpr ReplyMessage operator[](int status) const {
        return status >= 1 && static_cast<std::size_t>(status) <= N
                   ? byStatus[static_cast<std::size_t>(status) - 1]
                   : unknown;
    }
};

using M = ReplyMessage;
constexpr StatusMessages<4> kStep2Status{
    {M::Step2CrcFailed, M::Step2LengthError, M::Step2VerifyError, M::Step2Retransmission},
    M::Step2Unknown};
constexpr StatusMessages<5> kStep3Status{
    {M::Step3CrcFailed, M::Step3LengthError, M::Step3VerifyError, M::Step3Retransmission,
     M::Step3KeyWriteFailed},
    M::Step3Unknown};
constexpr StatusMessages<5> kStep4Status{
    {M::Step4CrcFailed, M::Step4LengthError, M::Step4DownloadFailed, M::Step4Retransmission,
     M::Step4EraseFlashError},
    M::Step4Unknown};
constexpr StatusMessages<3> kStep5Status{
    {M::Step5VerifyFailed, M::Step5LengthError, M::Step5CheckError}, M::Step5Unknown};
constexpr StatusMessages<6> kStep6Status{
    {M::Step6CrcFailed, M::Step6LengthError, M::Step6OpcodeError, M::Step6Retransmission,
     M::Step6FlashError, M::Step6StartAddressError},
    M::Step6Unknown};

// The eFuse result: 0 passed, 1 failed, 2 shown as the step's CRC error.
ReplyMessage EfuseMessage(int result) {
    switch (result) {
        case 0:
            return M::Step7EfusePassed;
        case 1:
            return M::Step7EfuseFailed;
        case 2:
            return M::Step7CrcError;
        default:
            return M::Step7Unknown;
    }
}

}  // namespace

void ProtocolEngine::Init(const std::string& imagePath, const std::string& settingsPath,
                          ProgressView* progressView, DownloadLog& runLog,
                          const DownloadOptions& downloadOptions) {
    log = &runLog;
    scratchText.clear();
    extension.clear();
    chipStage = 0;
    needHandShake = true;
    debug = false;
    lastExtraKind = 0;
    chipInfo = 0;
    chip = {};
    resendsInARow = 0;
    timeoutCoefficient = 1;
    language = SystemLanguage();
    file = CreateDownloadFile(imagePath, log);
    // Nothing can be flashed from an empty image, and its zero packets would divide by zero.
    if (file->ImageLength() == 0)
        throw LoaderError("The firmware file is empty: [" + imagePath + "]");
    const auto dot = imagePath.rfind('.');
    extension = Upper(dot == std::string::npos ? std::string() : imagePath.substr(dot + 1));
    if (!settingsPath.empty()) file->LoadExtraDownloadFiles(settingsPath);
    view = progressView;
    view->SetImageBytes(0, file->ImageLength());
    view->ResetProgress(file->PacketCount());
    view->stepsDone = 0;
    view->ShowPercent(0);
    options = downloadOptions;
}

bool ProtocolEngine::AcceptsFrame(const std::uint8_t* frame) const {
    if (debug)
        log->Line(
            "!needHandShake:%d,head %x\n", needHandShake ? 0 : 1,
            static_cast<unsigned>(static_cast<int>(static_cast<std::int16_t>(Word(frame, 0)))));
    return !needHandShake || (frame[0] == kDeviceStart && frame[1] == 1);
}

void ProtocolEngine::Show(const std::string& text) { view->AppendLogView(text, kLogPlain); }

EngineResult ProtocolEngine::Request(Outcome outcome, RequestCode request) {
    switch (request) {
        case RequestCode::Step2:
            file->BuildStep2Frame(chipStage);
            break;
        case RequestCode::Step3:
            file->BuildStep3Frame(&options);
            break;
        case RequestCode::Data:
            file->BuildDataFrame();
            break;
        case RequestCode::ExtraHeader:
        case RequestCode::ExtraData:
        case RequestCode::ExtraEnd:
            // Kept to tell, when the boot loader answers, which step-6 frame it answers.
            lastExtraKind = request == RequestCode::ExtraHeader ? kExtraHeader
                            : request == RequestCode::ExtraData ? kExtraData
                                                                : kExtraEnd;
            file->BuildExtraFileFrame(lastExtraKind);
            break;
        case RequestCode::Reboot:
            file->BuildRebootFrame();
            break;
        case RequestCode::Repeat:
            break;  // the frame last sent goes out again
    }
    if (request != RequestCode::Repeat) resendsInARow = 0;
    return EngineResult{outcome, file->Frame(), file->FrameSize(), {}};
}

std::string ProtocolEngine::Text(ReplyMessage message) const { return Message(message, language); }

EngineResult ProtocolEngine::Fail(ReplyMessage message) {
    Show(Text(message));
    view->SetBarState(BarState::Failure);
    return Plain(Outcome::Failed);
}

EngineResult ProtocolEngine::Resend(ReplyMessage message) {
    if (debug) Show(Text(message));
    // A chip (or a line) that asks for the same frame without end would keep the run busy
    // forever and the log growing.
    if (++resendsInARow > kMaxResendsInARow) {
        Show("The boot loader asked for the same frame " + std::to_string(kMaxResendsInARow) +
             " times in a row; the download stops");
        view->SetBarState(BarState::Failure);
        return Plain(Outcome::Failed);
    }
    return Request(Outcome::Continue, RequestCode::Repeat);
}

EngineResult ProtocolEngine::OnFrame(const std::uint8_t* frame) {
    if (debug)
        view->AppendLogView(HexBytes(frame, FrameLengthField(frame) + kFrameHeaderSize),
                            kLogReceive);
    switch (Word(frame, 0)) {
        case StepReplyId(1):
            return OnChipInfo(frame);
        case StepReplyId(2):
            return OnStep2(frame);
        case StepReplyId(3):
            return OnStep3(frame);
        case StepReplyId(4):
            return OnStep4(frame);
        case StepReplyId(5):
            return OnStep5(frame);
        case StepReplyId(6):
            return OnStep6(frame);
        case StepReplyId(7):
            return OnStep7(frame);
        default:
            return Fail(ReplyMessage::InputError);
    }
}

EngineResult ProtocolEngine::OnChipInfo(const std::uint8_t* frame) {
    namespace ci = chipinfo;
    needHandShake = false;
    // A reply too short for its fields is as damaged as one with a wrong CRC.
    if (!CrcOk(frame) || FrameLengthField(frame) < ci::kMinLength)
        return Fail(ReplyMessage::Step1CrcFailed);
    chipStage = Word(frame, ci::kStage);
    switch (chipStage) {
        case kStageTest:
            scratchText = Text(ReplyMessage::TestStage);
            break;
        case kStageDebug:
            scratchText = Text(ReplyMessage::DebugStage);
            break;
        case kStageProduct:
            scratchText = Text(ReplyMessage::ProductStage);
            break;
        case kStageScrap:
            scratchText = Text(ReplyMessage::ScrapStage);
            break;
        default:
            scratchText = Text(ReplyMessage::UnknownStage);
            break;
    }
    const std::string csn = HexBytesLower(frame + ci::kCsn, ci::kCsnSize);
    chipInfo = static_cast<std::int16_t>(Word(frame, ci::kChipInfo));
    chip = {csn,
            HexBytesLower(frame + ci::kEsn, ci::kEsnSize),
            chipStage,
            chipInfo,
            static_cast<std::int16_t>(Word(frame, ci::kEquipmentInfo)),
            static_cast<std::int16_t>(Word(frame, ci::kAppVersion))};
    // The report shows the words as the chip sent them.
    const auto word = [](std::int16_t value) {
        return SignedHex(static_cast<std::uint16_t>(value));
    };
    std::string report = Text(ReplyMessage::ChipStageLabel) + scratchText + "\r\n" +
                         Text(ReplyMessage::CsnLabel) + chip.csn;
    report += "\r\n" + Text(ReplyMessage::ChipInfoLabel) + word(chip.variant);
    report += "\r\n" + Text(ReplyMessage::EsnLabel) + chip.esn;
    report += "\r\n" + Text(ReplyMessage::EquipmentInfoLabel) + word(chip.equipmentInfo);
    report += "\r\n" + Text(ReplyMessage::AppVersionLabel) + word(chip.appVersion);
    const std::uint16_t timing =
        Word(frame, chipStage == kStageProduct ? ci::kProductTiming : ci::kTiming);
    const int s = timing & 0xFF;
    const int c = (timing >> 8) == 0 ? 1 : timing >> 8;
    timeoutCoefficient = c;
    report += "\r\n" + Text(ReplyMessage::UartSyncTimeoutLabel) + std::to_string(s) + "ms";
    if (chipInfo > 0)
        report +=
            "\r\n" + Text(ReplyMessage::UsbSyncTimeoutLabel) + std::to_string(s * c * 32) + "ms";
    report += "\r\n" + Text(ReplyMessage::ReceiveTimeoutLabel) + std::to_string(s * c) + "ms";
    Show(report);
    Show("step1...");

    if (chipStage == kStageProduct) {
        if (!file->IsSigned()) return Fail(ReplyMessage::UnsignedInProductMode);
        const bool sig = extension == "SIG";
        const bool sigx = extension == "SIGX" || extension == "SIGX_1";
        const bool suits = chipInfo < 0 || (chipInfo == 0 && sig) || (chipInfo > 0 && sigx);
        if (!suits) return Fail(ReplyMessage::SignatureDoesNotMatchChip);
    }
    EngineResult result = Request(Outcome::Continue, RequestCode::Step2);
    result.csn = csn;
    return result;
}

EngineResult ProtocolEngine::OnStep2(const std::uint8_t* frame) {
    Show("step2...");
    if (!CrcOk(frame)) return Fail(ReplyMessage::Step2CrcError);
    const int status = frame[kReplyStatusOffset];
    if (status == kStatusAccepted) return Request(Outcome::Continue, RequestCode::Step3);
    if (status == kStatusResend) return Resend(kStep2Status[status]);
    return Fail(kStep2Status[status]);
}

EngineResult ProtocolEngine::OnStep3(const std::uint8_t* frame) {
    Show("step3...");
    if (!CrcOk(frame)) return Fail(ReplyMessage::Step3CrcError);
    const int status = frame[kReplyStatusOffset];
    if (status == kStatusAccepted) {
        if (IsKeyProvisioning()) return Plain(Outcome::Wait);
        Show("step4 Downloading firmware... ");
        return Request(Outcome::Continue, RequestCode::Data);
    }
    if (status == kStatusResend) return Resend(kStep3Status[status]);
    return Fail(kStep3Status[status]);
}

EngineResult ProtocolEngine::OnStep4(const std::uint8_t* frame) {
    if (!CrcOk(frame)) return Fail(ReplyMessage::Step4CrcError);
    const int status = frame[kReplyStatusOffset];
    switch (status) {
        case kStatusAccepted:
            view->SetImageBytes(file->BytesSent(), file->ImageLength());
            view->StepProgress(file->PacketCount());
            if (file->BytesSent() < file->ImageLength())
                return Request(Outcome::Continue, RequestCode::Data);
            log->Raw("step4数据发送完成，等待step5回复\n");
            return Plain(Outcome::Continue);
        case kStatusKeyWritten:
            if (IsKeyProvisioning()) {
                Show(Text(ReplyMessage::Step4KeyWritten));
                return Plain(Outcome::KeyWritten);
            }
            break;
        case kStatusResend:
            if (IsKeyProvisioning()) return Plain(Outcome::Wait);
            return Resend(kStep4Status[status]);
        default:
            break;
    }
    return Fail(kStep4Status[status]);
}

EngineResult ProtocolEngine::OnStep5(const std::uint8_t* frame) {
    if (!CrcOk(frame)) return Fail(ReplyMessage::Step5CrcError);
    const int status = frame[kReplyStatusOffset];
    if (status == kStatusAccepted) {
        Show(Text(ReplyMessage::Step5Verified));
        if (chipInfo > 0) return Request(Outcome::Continue, NextExtraFile());
        ShowDownloadSuccess();
        return Plain(Outcome::Finished);
    }
    return Fail(kStep5Status[status]);
}

EngineResult ProtocolEngine::OnStep6(const std::uint8_t* frame) {
    if (!CrcOk(frame)) return Fail(ReplyMessage::Step6CrcError);
    const int status = frame[kReplyStatusOffset];
    if (status == kStatusAccepted) {
        switch (lastExtraKind) {
            case kExtraHeader:
                if (!file->CurrentExtraEraseOnly())
                    return Request(Outcome::Continue, RequestCode::ExtraData);
                ++file->extraIndex;
                return Request(Outcome::Continue, NextExtraFile());
            case kExtraData:
                view->StepProgress(file->CurrentExtraPacketCount());
                if (file->CurrentExtraHasMoreData())
                    return Request(Outcome::Continue, RequestCode::ExtraData);
                ++file->extraIndex;
                return Request(Outcome::Continue, NextExtraFile());
            case kExtraEnd:
                ShowDownloadSuccess();
                return Plain(Outcome::FinishedWithExtras);
            default:
                return Fail(ReplyMessage::Step63OpcodeError);
        }
    }
    if (status == kStatusResend) return Resend(kStep6Status[status]);
    return Fail(kStep6Status[status]);
}

EngineResult ProtocolEngine::OnStep7(const std::uint8_t* frame) {
    if (!CrcOk(frame)) return Fail(ReplyMessage::Step7CrcError);
    const int result = frame[kReplyStatusOffset];
    Show(Text(EfuseMessage(result)));
    if (result == 0) return Request(Outcome::EfuseChecked, RequestCode::Reboot);
    view->SetBarState(BarState::Failure);
    return Plain(Outcome::Failed);
}

ProtocolEngine::RequestCode ProtocolEngine::NextExtraFile() {
    if (!file->HasMoreExtraFiles()) return RequestCode::ExtraEnd;
    scratchText =
        "step6 Downloading additional files " + std::to_string(file->extraIndex + 1) + "...";
    Show(scratchText);
    if (!file->CurrentExtraEraseOnly()) {
        view->ResetProgress(file->CurrentExtraPacketCount());
        view->stepsDone = 0;
        view->ShowPercent(0);
    }
    return RequestCode::ExtraHeader;
}

void ProtocolEngine::ShowDownloadSuccess() {
    Show(Text(ReplyMessage::DownloadSucceeded));
    view->SetBarState(BarState::Success);
    view->ShowPercent(100);
}

bool ProtocolEngine::IsKeyProvisioning() const {
    log->Line("文件后缀" + extension + ",包数:" + std::to_string(file->BytesSent()) + "\n");
    return chipInfo == 1 && chipStage == kStageDebug &&
           (extension == "SIGX" || extension == "SIGX_1") && file->BytesSent() == 0;
}

}  // namespace ov
