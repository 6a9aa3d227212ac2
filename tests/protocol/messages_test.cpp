#include "protocol/messages.h"

#include <gtest/gtest.h>

#include <set>

namespace ov {
namespace {

// The operator's texts as the boot loader's documentation gives them.
const char* const kChinese[59] = {
    "步骤2:CRC错误",                 // 0
    "步骤2:CRC校验:失败",            // 1
    "步骤2:长度误差",                // 2
    "步骤2:验证错误",                // 3
    "步骤2:重新传输",                // 4
    "步骤2:未知错误",                // 5
    "步骤3:CRC错误",                 // 6
    "步骤3:CRC校验:失败",            // 7
    "步骤3:长度误差",                // 8
    "步骤3:验证错误",                // 9
    "步骤3:重新传输",                // 10
    "步骤3:写公钥失败",              // 11
    "步骤3:未知错误",                // 12
    "步骤4:CRC错误",                 // 13
    "步骤4:CRC校验:失败",            // 14
    "步骤4:长度误差",                // 15
    "步骤4:下载失败",                // 16
    "步骤4:重新传输",                // 17
    "步骤4:擦除flash错误",           // 18
    "步骤4:写公钥成功",              // 19
    "步骤4:未知错误",                // 20
    "步骤5:CRC错误",                 // 21
    "步骤5:CRC校验:失败",            // 22
    "步骤5:长度误差",                // 23
    "步骤5:校验错误",                // 24
    "步骤5:校验成功",                // 25
    "步骤5:未知错误",                // 26
    "步骤6:CRC错误",                 // 27
    "步骤6:CRC校验:失败",            // 28
    "步骤6:长度误差",                // 29
    "步骤6:操作码异常",              // 30
    "步骤6:重新传输",                // 31
    "步骤6:擦除或写flash错误",       // 32
    "步骤6:起始地址错误",            // 33
    "步骤63:操作码异常",             // 34
    "步骤6:未知错误",                // 35
    "步骤7:efuse校验成功",           // 36
    "步骤7:efuse校验失败",           // 37
    "步骤7:CRC错误",                 // 38
    "步骤7:未知错误",                // 39
    "文件下载成功！",                // 40
    "step1 CRC校验:失败",            // 41
    "测试阶段",                      // 42
    "调试阶段",                      // 43
    "产品阶段",                      // 44
    "报废阶段",                      // 45
    "未知阶段",                      // 46
    "芯片阶段：",                    // 47
    "芯片SN：",                      // 48
    "芯片信息：",                    // 49
    "设备SN：",                      // 50
    "设备信息：",                    // 51
    "App版本：",                     // 52
    "串口同步超时：",                // 53
    "USB同步超时：",                 // 54
    "接收回复超时：",                // 55
    "产品模式不允许下载未签名固件",  // 56
    "签名固件与芯片不匹配",          // 57
    "获取到的数据错误",              // 58
};

const char* const kEnglish[59] = {
    "step2 CRC error",                                               // 0
    "step2:CRC check: failed",                                       // 1
    "step2:length error",                                            // 2
    "step2:verify error ",                                           // 3
    "step2:Retransmission ",                                         // 4
    "step2:unknown error",                                           // 5
    "step3 CRC error",                                               // 6
    "step3:CRC check: failed",                                       // 7
    "step3:length error",                                            // 8
    "step3:verify error ",                                           // 9
    "step3:Retransmission ",                                         // 10
    "step3:Failed to write public key ",                             // 11
    "step3:unknown error",                                           // 12
    "step4 CRC error",                                               // 13
    "step4:CRC check: failed",                                       // 14
    "step4:length error",                                            // 15
    "step4:download failed ",                                        // 16
    "step4:Retransmission ",                                         // 17
    "step4:Erase flash error ",                                      // 18
    "step4:write public key succ ",                                  // 19
    "step4:unknown error",                                           // 20
    "step5 CRC error",                                               // 21
    "step5:verify failed",                                           // 22
    "step5:length error",                                            // 23
    "step5:Check error ",                                            // 24
    "step5:verify success!",                                         // 25
    "step5:unknown error",                                           // 26
    "step6 CRC error",                                               // 27
    "step6:CRC check: failed",                                       // 28
    "step6:length error",                                            // 29
    "step6:opcode error ",                                           // 30
    "step6:Retransmission ",                                         // 31
    "step6:Erase or write flash error",                              // 32
    "step6:Start address error ",                                    // 33
    "step63:opcode error",                                           // 34
    "step6:unknown error",                                           // 35
    "step7:efuse check success",                                     // 36
    "step7:efuse check fail",                                        // 37
    "step7 CRC error",                                               // 38
    "step7:unknown error",                                           // 39
    "File downloaded successfully !",                                // 40
    "step1 CRC check: failed ",                                      // 41
    "test stage",                                                    // 42
    "debug stage",                                                   // 43
    "product stage",                                                 // 44
    "scrap stage",                                                   // 45
    "unknown stage",                                                 // 46
    "chip stage:",                                                   // 47
    "CSN:",                                                          // 48
    "CInfo:",                                                        // 49
    "ESN:",                                                          // 50
    "EInfo:",                                                        // 51
    "App version:",                                                  // 52
    "uart sync timeout:",                                            // 53
    "usb sync timeout:",                                             // 54
    "receive timeout:",                                              // 55
    "The product mode not allow downloading of unsigned firmware ",  // 56
    "The signed firmware does not match the chip",                   // 57
    "input error",                                                   // 58
};

// The message of each number in the documentation's list.
ReplyMessage Numbered(std::size_t i) { return static_cast<ReplyMessage>(i); }

TEST(MessageTable, EveryTextByteExactInBothLanguages) {
    ASSERT_EQ(kReplyMessageCount, 59u);
    for (std::size_t i = 0; i < kReplyMessageCount; ++i) {
        EXPECT_STREQ(Message(Numbered(i), Language::Chinese), kChinese[i]) << "message " << i;
        EXPECT_STREQ(Message(Numbered(i), Language::English), kEnglish[i]) << "message " << i;
    }
    // The names the engine uses stand where the documentation numbers them.
    EXPECT_STREQ(Message(ReplyMessage::Step2Unknown, Language::English), kEnglish[5]);
    EXPECT_STREQ(Message(ReplyMessage::Step63OpcodeError, Language::Chinese), kChinese[34]);
    EXPECT_STREQ(Message(ReplyMessage::DownloadSucceeded, Language::English), kEnglish[40]);
    EXPECT_STREQ(Message(ReplyMessage::InputError, Language::English), kEnglish[58]);
}

TEST(MessageTable, ExactlyTheseEnglishTextsEndInOneBlank) {
    const std::set<std::size_t> withBlank = {3,  4,  9,  10, 11, 16, 17, 18,
                                             19, 24, 30, 31, 33, 41, 56};
    for (std::size_t i = 0; i < kReplyMessageCount; ++i) {
        const std::string text = Message(Numbered(i), Language::English);
        const bool blank = !text.empty() && text.back() == ' ';
        EXPECT_EQ(blank, withBlank.count(i) == 1) << "message " << i;
        if (blank) {
            EXPECT_NE(text[text.size() - 2], ' ') << "message " << i;
        }
    }
}

}  // namespace
}  // namespace ov
