#include "protocol/messages.h"

namespace ov {

namespace {

// In the order of ReplyMessage; English first, then Chinese, character for character.
constexpr std::array<Bilingual, kReplyMessageCount> kMessages = {{
    {"step2 CRC error", "步骤2:CRC错误"},                             // Step2CrcError
    {"step2:CRC check: failed", "步骤2:CRC校验:失败"},                // Step2CrcFailed
    {"step2:length error", "步骤2:长度误差"},                         // Step2LengthError
    {"step2:verify error ", "步骤2:验证错误"},                        // Step2VerifyError
    {"step2:Retransmission ", "步骤2:重新传输"},                      // Step2Retransmission
    {"step2:unknown error", "步骤2:未知错误"},                        // Step2Unknown
    {"step3 CRC error", "步骤3:CRC错误"},                             // Step3CrcError
    {"step3:CRC check: failed", "步骤3:CRC校验:失败"},                // Step3CrcFailed
    {"step3:length error", "步骤3:长度误差"},                         // Step3LengthError
    {"step3:verify error ", "步骤3:验证错误"},                        // Step3VerifyError
    {"step3:Retransmission ", "步骤3:重新传输"},                      // Step3Retransmission
    {"step3:Failed to write public key ", "步骤3:写公钥失败"},        // Step3KeyWriteFailed
    {"step3:unknown error", "步骤3:未知错误"},                        // Step3Unknown
    {"step4 CRC error", "步骤4:CRC错误"},                             // Step4CrcError
    {"step4:CRC check: failed", "步骤4:CRC校验:失败"},                // Step4CrcFailed
    {"step4:length error", "步骤4:长度误差"},                         // Step4LengthError
    {"step4:download failed ", "步骤4:下载失败"},                     // Step4DownloadFailed
    {"step4:Retransmission ", "步骤4:重新传输"},                      // Step4Retransmission
    {"step4:Erase flash error ", "步骤4:擦除flash错误"},              // Step4EraseFlashError
    {"step4:write public key succ ", "步骤4:写公钥成功"},             // Step4KeyWritten
    {"step4:unknown error", "步骤4:未知错误"},                        // Step4Unknown
    {"step5 CRC error", "步骤5:CRC错误"},                             // Step5CrcError
    {"step5:verify failed", "步骤5:CRC校验:失败"},                    // Step5VerifyFailed
    {"step5:length error", "步骤5:长度误差"},                         // Step5LengthError
    {"step5:Check error ", "步骤5:校验错误"},                         // Step5CheckError
    {"step5:verify success!", "步骤5:校验成功"},                      // Step5Verified
    {"step5:unknown error", "步骤5:未知错误"},                        // Step5Unknown
    {"step6 CRC error", "步骤6:CRC错误"},                             // Step6CrcError
    {"step6:CRC check: failed", "步骤6:CRC校验:失败"},                // Step6CrcFailed
    {"step6:length error", "步骤6:长度误差"},                         // Step6LengthError
    {"step6:opcode error ", "步骤6:操作码异常"},                      // Step6OpcodeError
    {"step6:Retransmission ", "步骤6:重新传输"},                      // Step6Retransmission
    {"step6:Erase or write flash error", "步骤6:擦除或写flash错误"},  // Step6FlashError
    {"step6:Start address error ", "步骤6:起始地址错误"},             // Step6StartAddressError
    {"step63:opcode error", "步骤63:操作码异常"},                     // Step63OpcodeError
    {"step6:unknown error", "步骤6:未知错误"},                        // Step6Unknown
    {"step7:efuse check success", "步骤7:efuse校验成功"},             // Step7EfusePassed
    {"step7:efuse check fail", "步骤7:efuse校验失败"},                // Step7EfuseFailed
    {"step7 CRC error", "步骤7:CRC错误"},                             // Step7CrcError
    {"step7:unknown error", "步骤7:未知错误"},                        // Step7Unknown
    {"File downloaded successfully !", "文件下载成功！"},             // DownloadSucceeded
    {"step1 CRC check: failed ", "step1 CRC校验:失败"},               // Step1CrcFailed
    {"test stage", "测试阶段"},                                       // TestStage
    {"debug stage", "调试阶段"},                                      // DebugStage
    {"product stage", "产品阶段"},                                    // ProductStage
    {"scrap stage", "报废阶段"},                                      // ScrapStage
    {"unknown stage", "未知阶段"},                                    // UnknownStage
    {"chip stage:", "芯片阶段："},                                    // ChipStageLabel
    {"CSN:", "芯片SN："},                                             // CsnLabel
    {"CInfo:", "芯片信息："},                                         // ChipInfoLabel
    {"ESN:", "设备SN："},                                             // EsnLabel
    {"EInfo:", "设备信息："},                                         // EquipmentInfoLabel
    {"App version:", "App版本："},                                    // AppVersionLabel
    {"uart sync timeout:", "串口同步超时："},                         // UartSyncTimeoutLabel
    {"usb sync timeout:", "USB同步超时："},                           // UsbSyncTimeoutLabel
    {"receive timeout:", "接收回复超时："},                           // ReceiveTimeoutLabel
    {"The product mode not allow downloading of unsigned firmware ",
     "产品模式不允许下载未签名固件"},  // UnsignedInProductMode
    {"The signed firmware does not match the chip",
     "签名固件与芯片不匹配"},             // SignatureDoesNotMatchChip
    {"input error", "获取到的数据错误"},  // InputError
}};

}  // namespace

const char* Message(ReplyMessage message, Language language) {
    return kMessages[static_cast<std::size_t>(message)].In(language);
}

}  // namespace ov
