#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "ui/language.h"

namespace ov {

// What the engine tells the operator about the boot loader's replies: a text for each status
// each step defines, the chip's report and its stages, and the refusals of an image.
enum class ReplyMessage {
    Step2CrcError,  // 0
    Step2CrcFailed,
    Step2LengthError,
    Step2VerifyError,
    Step2Retransmission,
    Step2Unknown,
    Step3CrcError,
    Step3CrcFailed,
    Step3LengthError,
    Step3VerifyError,
    Step3Retransmission,  // 10
    Step3KeyWriteFailed,
    Step3Unknown,
    Step4CrcError,
    Step4CrcFailed,
    Step4LengthError,
    Step4DownloadFailed,
    Step4Retransmission,
    Step4EraseFlashError,
    Step4KeyWritten,
    Step4Unknown,  // 20
    Step5CrcError,
    Step5VerifyFailed,
    Step5LengthError,
    Step5CheckError,
    Step5Verified,
    Step5Unknown,
    Step6CrcError,
    Step6CrcFailed,
    Step6LengthError,
    Step6OpcodeError,  // 30
    Step6Retransmission,
    Step6FlashError,
    Step6StartAddressError,
    Step63OpcodeError,
    Step6Unknown,
    Step7EfusePassed,
    Step7EfuseFailed,
    Step7CrcError,
    Step7Unknown,
    DownloadSucceeded,  // 40
    Step1CrcFailed,
    TestStage,
    DebugStage,
    ProductStage,
    ScrapStage,
    UnknownStage,
    ChipStageLabel,
    CsnLabel,
    ChipInfoLabel,
    EsnLabel,  // 50
    EquipmentInfoLabel,
    AppVersionLabel,
    UartSyncTimeoutLabel,
    UsbSyncTimeoutLabel,
    ReceiveTimeoutLabel,
    UnsignedInProductMode,
    SignatureDoesNotMatchChip,
    InputError,
};

inline constexpr std::size_t kReplyMessageCount =
    static_cast<std::size_t>(ReplyMessage::InputError) + 1;

// The text of a message in a language; some English texts end in one blank, exactly as the
// operator has always seen them.
const char* Message(ReplyMessage message, Language language);

}  // namespace ov
