#include "protocol/messages.h"

#include <array>
#include <stdexcept>

namespace ov {

namespace {

struct MessagePair {
    const char* chinese;
    const char* english;
};

// Several English texts end in one blank, exactly as the operator has always seen them.
constexpr std::array<MessagePair, kMessageCount> kTexts = {{
    {"步骤2:CRC错误", "step2 CRC error"},                             // 0
    {"步骤2:CRC校验:失败", "step2:CRC check: failed"},                // 1
    {"步骤2:长度误差", "step2:length error"},                         // 2
    {"步骤2:验证错误", "step2:verify error "},                        // 3
    {"步骤2:重新传输", "step2:Retransmission "},                      // 4
    {"步骤2:未知错误", "step2:unknown error"},                        // 5
    {"步骤3:CRC错误", "step3 CRC error"},                             // 6
    {"步骤3:CRC校验:失败", "step3:CRC check: failed"},                // 7
    {"步骤3:长度误差", "step3:length error"},                         // 8
    {"步骤3:验证错误", "step3:verify error "},                        // 9
    {"步骤3:重新传输", "step3:Retransmission "},                      // 10
    {"步骤3:写公钥失败", "step3:Failed to write public key "},        // 11
    {"步骤3:未知错误", "step3:unknown error"},                        // 12
    {"步骤4:CRC错误", "step4 CRC error"},                             // 13
    {"步骤4:CRC校验:失败", "step4:CRC check: failed"},                // 14
    {"步骤4:长度误差", "step4:length error"},                         // 15
    {"步骤4:下载失败", "step4:download failed "},                     // 16
    {"步骤4:重新传输", "step4:Retransmission "},                      // 17
    {"步骤4:擦除flash错误", "step4:Erase flash error "},              // 18
    {"步骤4:写公钥成功", "step4:write public key succ "},             // 19
    {"步骤4:未知错误", "step4:unknown error"},                        // 20
    {"步骤5:CRC错误", "step5 CRC error"},                             // 21
    {"步骤5:CRC校验:失败", "step5:verify failed"},                    // 22
    {"步骤5:长度误差", "step5:length error"},                         // 23
    {"步骤5:校验错误", "step5:Check error "},                         // 24
    {"步骤5:校验成功", "step5:verify success!"},                      // 25
    {"步骤5:未知错误", "step5:unknown error"},                        // 26
    {"步骤6:CRC错误", "step6 CRC error"},                             // 27
    {"步骤6:CRC校验:失败", "step6:CRC check: failed"},                // 28
    {"步骤6:长度误差", "step6:length error"},                         // 29
    {"步骤6:操作码异常", "step6:opcode error "},                      // 30
    {"步骤6:重新传输", "step6:Retransmission "},                      // 31
    {"步骤6:擦除或写flash错误", "step6:Erase or write flash error"},  // 32
    {"步骤6:起始地址错误", "step6:Start address error "},             // 33
    {"步骤63:操作码异常", "step63:opcode error"},                     // 34
    {"步骤6:未知错误", "step6:unknown error"},                        // 35
    {"步骤7:efuse校验成功", "step7:efuse check success"},             // 36
    {"步骤7:efuse校验失败", "step7:efuse check fail"},                // 37
    {"步骤7:CRC错误", "step7 CRC error"},                             // 38
    {"步骤7:未知错误", "step7:unknown error"},                        // 39
    {"文件下载成功！", "File downloaded successfully !"},             // 40
    {"step1 CRC校验:失败", "step1 CRC check: failed "},               // 41
    {"测试阶段", "test stage"},                                       // 42
    {"调试阶段", "debug stage"},                                      // 43
    {"产品阶段", "product stage"},                                    // 44
    {"报废阶段", "scrap stage"},                                      // 45
    {"未知阶段", "unknown stage"},                                    // 46
    {"芯片阶段：", "chip stage:"},                                    // 47
    {"芯片SN：", "CSN:"},                                             // 48
    {"芯片信息：", "CInfo:"},                                         // 49
    {"设备SN：", "ESN:"},                                             // 50
    {"设备信息：", "EInfo:"},                                         // 51
    {"App版本：", "App version:"},                                    // 52
    {"串口同步超时：", "uart sync timeout:"},                         // 53
    {"USB同步超时：", "usb sync timeout:"},                           // 54
    {"接收回复超时：", "receive timeout:"},                           // 55
    {"产品模式不允许下载未签名固件",
     "The product mode not allow downloading of unsigned firmware "},         // 56
    {"签名固件与芯片不匹配", "The signed firmware does not match the chip"},  // 57
    {"获取到的数据错误", "input error"},                                      // 58
}};

std::array<std::string, kMessageCount>& Table() {
    static std::array<std::string, kMessageCount> table = [] {
        std::array<std::string, kMessageCount> t;
        for (int i = 0; i < kMessageCount; ++i) t[i] = kTexts[i].english;
        return t;
    }();
    return table;
}

}  // namespace

void BuildMessageTable(Language language) {
    auto& table = Table();
    for (int i = 0; i < kMessageCount; ++i)
        table[i] = language == Language::Chinese ? kTexts[i].chinese : kTexts[i].english;
}

void BuildMessageTable() { BuildMessageTable(SystemLanguage()); }

const std::string& Message(int number) {
    if (number < 0 || number >= kMessageCount) throw std::out_of_range("message number");
    return Table()[number];
}

}  // namespace ov
