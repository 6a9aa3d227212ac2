#include "protocol/protocol_engine.h"

#include <strings.h>

#include <algorithm>
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
    std::snprintf(text, sizeof(text), "%04x", static_cast<unsigned>(static_cast<int>(static_cast<std::int16_t>(word))));
    return text;
}

std::uint16_t Word(const std::uint8_t* frame, std::size_t offset) {
    return static_cast<std::uint16_t>(GetLittleEndian(frame + offset, 2));
}

bool CrcOk(const std::uint8_t* frame) { return FrameCrcOk(frame, FrameCheckedLength(frame)); }

}  // namespace

void ProtocolEngine::Init(const std::string& imagePath, const std::string& settingsPath, ProgressView* progressView,
                          DownloadLog& runLog, const DownloadOptions& downloadOptions) {
    log = &runLog;
    scratchText.clear();
    extension.clear();
    chipStage = 0;
    needHandShake = true;
    debug = false;
    lastExtraKind = 0;
    chipInfo = 0;
    chip = {};
    timeoutCoefficient = 1;
    BuildMessageTable();
    file = CreateDownloadFile(imagePath, log);
    // Nothing can be flashed from an empty image, and its zero packets would divide by zero.
    if (file->ImageLength() == 0) throw LoaderError("The firmware file is empty: [" + imagePath + "]");
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
    log->Line("!needHandShake:%d,head %x\n", needHandShake ? 0 : 1,
            static_cast<unsigned>(static_cast<int>(static_cast<std::int16_t>(Word(frame, 0)))));
    return !needHandShake || (frame[0] == kDeviceStart && frame[1] == 1);
}

void ProtocolEngine::Show(const std::string& text) { view->AppendLogView(text, kLogPlain); }

EngineResult ProtocolEngine::Request(Outcome outcome, int request) {
    switch (request >> 4) {
        case 0x2:
            file->BuildStep2Frame(chipStage);
            break;
        case 0x3:
            file->BuildStep3Frame(&options);
            break;
        case 0x4:
            file->BuildDataFrame();
            break;
        case 0x6:
            lastExtraKind = request & 0xF;
            file->BuildExtraFileFrame(lastExtraKind);
            break;
        case 0x8:
            file->BuildRebootFrame();
            break;
        default:
            break;  // 0: the frame last sent goes out again
    }
    return EngineResult{outcome, file->Frame(), file->FrameSize(), {}};
}

EngineResult ProtocolEngine::Fail(int message) {
    Show(Message(message));
    view->SetBarState(BarState::Failure);
    return Plain(Outcome::Failed);
}

EngineResult ProtocolEngine::Resend(int message) {
    if (debug) Show(Message(message));
    return Request(Outcome::Continue, 0);
}

EngineResult ProtocolEngine::OnFrame(const std::uint8_t* frame) {
    if (debug) view->AppendLogView(HexBytes(frame, FrameLengthField(frame) + kFrameHeaderSize), kLogReceive);
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
            return Fail(58);
    }
}

EngineResult ProtocolEngine::OnChipInfo(const std::uint8_t* frame) {
    namespace ci = chipinfo;
    needHandShake = false;
    // A reply too short for its fields is as damaged as one with a wrong CRC.
    if (!CrcOk(frame) || FrameLengthField(frame) < ci::kMinLength) return Fail(41);
    chipStage = Word(frame, ci::kStage);
    switch (chipStage) {
        case kStageTest: scratchText = Message(42); break;
        case kStageDebug: scratchText = Message(43); break;
        case kStageProduct: scratchText = Message(44); break;
        case kStageScrap: scratchText = Message(45); break;
        default: scratchText = Message(46); break;
    }
    const std::string csn = HexBytesLower(frame + ci::kCsn, ci::kCsnSize);
    chipInfo = static_cast<std::int16_t>(Word(frame, ci::kChipInfo));
    chip = {csn,
            HexBytesLower(frame + ci::kEsn, ci::kEsnSize),
            chipStage,
            chipInfo,
            static_cast<std::int16_t>(Word(frame, ci::kEquipmentInfo)),
            static_cast<std::int16_t>(Word(frame, ci::kAppVersion))};
    std::string report = Message(47) + scratchText + "\r\n" + Message(48) + csn;
    report += "\r\n" + Message(49) + SignedHex(Word(frame, ci::kChipInfo));
    report += "\r\n" + Message(50) + HexBytesLower(frame + ci::kEsn, ci::kEsnSize);
    report += "\r\n" + Message(51) + SignedHex(Word(frame, ci::kEquipmentInfo));
    report += "\r\n" + Message(52) + SignedHex(Word(frame, ci::kAppVersion));
    const std::uint16_t timing = Word(frame, chipStage == kStageProduct ? ci::kProductTiming : ci::kTiming);
    const int s = timing & 0xFF;
    const int c = (timing >> 8) == 0 ? 1 : timing >> 8;
    timeoutCoefficient = c;
    report += "\r\n" + Message(53) + std::to_string(s) + "ms";
    if (chipInfo > 0) report += "\r\n" + Message(54) + std::to_string(s * c * 32) + "ms";
    report += "\r\n" + Message(55) + std::to_string(s * c) + "ms";
    Show(report);
    Show("step1...");

    if (chipStage == kStageProduct) {
        if (!file->IsSigned()) return Fail(56);
        const bool sig = extension == "SIG";
        const bool sigx = extension == "SIGX" || extension == "SIGX_1";
        const bool suits = chipInfo < 0 || (chipInfo == 0 && sig) || (chipInfo > 0 && sigx);
        if (!suits) return Fail(57);
    }
    EngineResult result = Request(Outcome::Continue, 0x20);
    result.csn = csn;
    return result;
}

EngineResult ProtocolEngine::OnStep2(const std::uint8_t* frame) {
    Show("step2...");
    if (!CrcOk(frame)) return Fail(0);
    const int status = frame[kReplyStatusOffset];
    if (status == 0) return Request(Outcome::Continue, 0x30);
    if (status >= 1 && status <= 3) return Fail(status);
    if (status == 4) return Resend(4);
    return Fail(5);
}

EngineResult ProtocolEngine::OnStep3(const std::uint8_t* frame) {
    Show("step3...");
    if (!CrcOk(frame)) return Fail(6);
    const int status = frame[kReplyStatusOffset];
    if (status == 0) {
        if (IsKeyProvisioning()) return Plain(Outcome::Wait);
        Show("step4 Downloading firmware... ");
        return Request(Outcome::Continue, 0x40);
    }
    if (status == 1 || status == 2 || status == 3 || status == 5) return Fail(status + 6);
    if (status == 4) return Resend(10);
    return Fail(12);
}

EngineResult ProtocolEngine::OnStep4(const std::uint8_t* frame) {
    if (!CrcOk(frame)) return Fail(13);
    const int status = frame[kReplyStatusOffset];
    switch (status) {
        case 0:
            view->SetImageBytes(file->BytesSent(), file->ImageLength());
            view->StepProgress(file->PacketCount());
            if (file->BytesSent() < file->ImageLength()) return Request(Outcome::Continue, 0x40);
            log->Raw("step4数据发送完成，等待step5回复\n");
            return Plain(Outcome::Continue);
        case 1:
        case 2:
        case 5:
            return Fail(status + 13);
        case 3:
            if (IsKeyProvisioning()) {
                Show(Message(19));
                return Plain(Outcome::KeyWritten);
            }
            return Fail(16);
        case 4:
            if (IsKeyProvisioning()) return Plain(Outcome::Wait);
            return Resend(17);
        default:
            return Fail(20);
    }
}

EngineResult ProtocolEngine::OnStep5(const std::uint8_t* frame) {
    if (!CrcOk(frame)) return Fail(21);
    const int status = frame[kReplyStatusOffset];
    if (status == 0) {
        Show(Message(25));
        if (chipInfo > 0) return Request(Outcome::Continue, NextExtraFile());
        ShowDownloadSuccess();
        return Plain(Outcome::Finished);
    }
    if (status >= 1 && status <= 3) return Fail(status + 21);
    return Fail(26);
}

EngineResult ProtocolEngine::OnStep6(const std::uint8_t* frame) {
    if (!CrcOk(frame)) return Fail(27);
    const int status = frame[kReplyStatusOffset];
    if (status == 0) {
        switch (lastExtraKind) {
            case kExtraHeader:
                if (!file->CurrentExtraEraseOnly()) return Request(Outcome::Continue, 0x62);
                ++file->extraIndex;
                return Request(Outcome::Continue, NextExtraFile());
            case kExtraData:
                view->StepProgress(file->CurrentExtraPacketCount());
                if (file->CurrentExtraHasMoreData()) return Request(Outcome::Continue, 0x62);
                ++file->extraIndex;
                return Request(Outcome::Continue, NextExtraFile());
            case kExtraEnd:
                ShowDownloadSuccess();
                return Plain(Outcome::FinishedWithExtras);
            default:
                return Fail(34);
        }
    }
    if (status == 1 || status == 2 || status == 3 || status == 5 || status == 6) return Fail(status + 27);
    if (status == 4) return Resend(31);
    return Fail(35);
}

EngineResult ProtocolEngine::OnStep7(const std::uint8_t* frame) {
    if (!CrcOk(frame)) return Fail(38);
    const int result = frame[kReplyStatusOffset];
    Show(Message(result <= 2 ? 36 + result : 39));
    if (result == 0) return Request(Outcome::EfuseChecked, 0x80);
    view->SetBarState(BarState::Failure);
    return Plain(Outcome::Failed);
}

int ProtocolEngine::NextExtraFile() {
    if (!file->HasMoreExtraFiles()) return 0x63;
    scratchText = "step6 Downloading additional files " + std::to_string(file->extraIndex + 1) + "...";
    Show(scratchText);
    if (!file->CurrentExtraEraseOnly()) {
        view->ResetProgress(file->CurrentExtraPacketCount());
        view->stepsDone = 0;
        view->ShowPercent(0);
    }
    return 0x61;
}

void ProtocolEngine::ShowDownloadSuccess() {
    Show(Message(40));
    view->SetBarState(BarState::Success);
    view->ShowPercent(100);
}

bool ProtocolEngine::IsKeyProvisioning() const {
    log->Line("文件后缀" + extension + ",包数:" + std::to_string(file->BytesSent()) + "\n");
    return chipInfo == 1 && chipStage == kStageDebug && (extension == "SIGX" || extension == "SIGX_1") &&
           file->BytesSent() == 0;
}

}  // namespace ov
