#include "control/command_line.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace ov {
namespace {

// The help text as the loader's documentation has it.
const char* const kExpectedHelp =
    "OV58xx Loader - 命令行使用说明\r\n"
    "=========================================\r\n"
    "\r\n"
    "用法:\r\n"
    "  OV58xx Loader.exe [选项]\r\n"
    "  OV58xx Loader.exe <串口> <文件路径> [-d]  (兼容旧格式)\r\n"
    "\r\n"
    "选项:\r\n"
    "  -f, --file <路径>        固件文件路径 (必需)\r\n"
    "  -p, --port <串口>        串口号 (COM4/4/USB，默认: USB)\r\n"
    "  -t, --timeout <毫秒>     握手超时时间 (默认: 5000ms)\r\n"
    "  -d, --debug              显示界面和详细日志\r\n"
    "  -h, --help               显示此帮助信息\r\n"
    "\r\n"
    "使用示例:\r\n"
    "  1. 基本使用 (自动使用USB):\r\n"
    "     OV58xx Loader.exe -f firmware.bin\r\n"
    "\r\n"
    "  2. 指定串口:\r\n"
    "     OV58xx Loader.exe -f firmware.bin -p COM4\r\n"
    "     OV58xx Loader.exe -f firmware.bin -p 4\r\n"
    "\r\n"
    "  3. 自定义握手超时:\r\n"
    "     OV58xx Loader.exe -f firmware.bin -t 10000\r\n"
    "\r\n"
    "  4. 调试模式:\r\n"
    "     OV58xx Loader.exe -f firmware.bin -d\r\n"
    "\r\n"
    "  5. 完整参数:\r\n"
    "     OV58xx Loader.exe -f firmware.bin -p COM4 -t 8000 -d\r\n"
    "\r\n"
    "  6. 兼容旧格式:\r\n"
    "     OV58xx Loader.exe COM4 firmware.bin\r\n"
    "     OV58xx Loader.exe USB firmware.bin -d\r\n"
    "\r\n"
    "支持的文件格式:\r\n"
    "  *.hex, *.bin, *.sig, *.sigx\r\n"
    "\r\n"
    "返回码:\r\n"
    "  0   - 显示帮助信息\r\n"
    "  100 - COM口不存在\r\n"
    "  101 - 文件不存在\r\n"
    "  102 - 参数错误\r\n"
    "  108 - 握手超时\r\n"
    "  200 - 下载成功\r\n";

// Bytes a line takes in GBK: two for every Chinese character, one for ASCII.
std::size_t GbkColumn(const std::string& utf8) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            ++bytes;
            ++i;
        } else {
            bytes += 2;
            i += c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        }
    }
    return bytes;
}

TEST(CommandLine, HelpTextIsExact) {
    EXPECT_STREQ(kHelpText, kExpectedHelp);
    const std::string help = kHelpText;
    std::size_t gbk = 0, at = 0;
    int optionLines = 0;
    while (at < help.size()) {
        const std::size_t end = help.find("\r\n", at);
        const std::string line = help.substr(at, end - at);
        gbk += GbkColumn(line) + 2;
        if (line.rfind("  -", 0) == 0) {
            // Every option's description starts at the 28th byte of its line.
            const std::size_t gap = line.find_first_not_of(' ', line.find("  ", 4));
            EXPECT_EQ(GbkColumn(line.substr(0, gap)) + 1, 28u) << line;
            ++optionLines;
        }
        at = end + 2;
    }
    EXPECT_EQ(gbk, 1121u);
    EXPECT_EQ(optionLines, 5);
}

struct Case {
    std::vector<std::string> args;
    bool valid;
    std::string error;
    std::string file = "";
    std::string port = "";
    int timeout = 0;
};

TEST(CommandLine, ParsesAsTheLoaderAlwaysHas) {
    test::TempDir dir;
    const std::string fw = dir.File("fw.bin");
    test::WriteFile(fw, "x");
    const std::string missing = dir.File("none.bin");
    const std::vector<Case> cases = {
        {{"-f", fw}, true, "", fw, "USB", 5000},
        {{"-f", fw, "-p", "COM4", "-t", "8000", "-d"}, true, "", fw, "COM4", 8000},
        {{"--file", fw, "--port", "4", "--timeout", "8000ms"}, true, "", fw, "4", 8000},
        {{"-f", fw, "-t", "60000"}, true, "", fw, "USB", 60000},
        {{"-f", fw, "-t", "1"}, true, "", fw, "USB", 1},
        {{"-f", fw, "-t", "0"}, false, "未知选项: -t"},
        {{"-f", fw, "-t", "60001"}, false, "未知选项: -t"},
        {{"-f", fw, "-t", "abc"}, false, "未知选项: -t"},
        {{"-f", fw, "-t", "-5"}, false, "选项 -t 缺少参数值"},
        {{"-f", fw, "-p"}, false, "选项 -p 缺少参数值"},
        {{"-f", "-p", "COM4"}, false, "选项 -f 缺少参数值"},
        {{"-x", "5"}, false, "未知选项: -x"},
        {{"-x"}, false, "选项 -x 缺少参数值"},
        {{"-file", fw}, false, "未知选项: -file"},
        {{"COM4", fw}, true, "", fw, "COM4", 5000},
        {{fw}, true, "", fw, "USB", 5000},
        {{"-p", "COM4", fw}, true, "", fw, "COM4", 5000},
        {{"-t", "8000", "COM4", fw}, false, "无法解析位置参数"},
        {{"-p", "COM4"}, false, "文件不存在: COM4"},
        {{"-f", missing}, false, "文件不存在: " + missing},
        {{"-d"}, false, "必须指定文件路径（使用 -f 或 --file）"},
        {{"-f", fw, "-p", "U5"}, false, "无效的串口参数: U5"},
        {{"-f", fw, "-p", "usb2"}, true, "", fw, "usb2", 5000},
        {{"-f", fw, "-p", "/dev/ttyUSB0"}, true, "", fw, "/dev/ttyUSB0", 5000},
        {{"-f", fw, "", "-p", "ttyACM0"}, true, "", fw, "ttyACM0", 5000},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"ov58xx-loader"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto o = ParseCommandLine(args);
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        EXPECT_EQ(o.valid, c.valid) << joined;
        EXPECT_EQ(o.error, c.error) << joined;
        if (c.valid) {
            EXPECT_EQ(o.filePath, c.file) << joined;
            EXPECT_EQ(o.port, c.port) << joined;
            EXPECT_EQ(o.timeoutMs, c.timeout) << joined;
        }
    }
}

TEST(CommandLine, HelpWinsOnlyBeforeAnError) {
    auto o = ParseCommandLine({"p", "-h", "-x"});
    EXPECT_TRUE(o.helpRequested);
    EXPECT_TRUE(o.valid);
    o = ParseCommandLine({"p", "-x", "1", "--help"});
    EXPECT_FALSE(o.valid);
    EXPECT_EQ(o.error, "未知选项: -x");
    o = ParseCommandLine({"p"});
    EXPECT_TRUE(o.helpRequested);
    o = ParseCommandLine({});
    EXPECT_EQ(o.error, "无效的命令行参数");
    EXPECT_TRUE(ParseCommandLine({"p", "-d", "-h"}).debug);
}

TEST(CommandLine, PlausiblePorts) {
    for (const char* good : {"com4", "USB", "xCOMx", "4", "COMX", "/dev/ttyUSB0", "ttyACM0"})
        EXPECT_TRUE(IsPlausiblePort(good)) << good;
    for (const char* bad : {"U5", "4a", "dev"}) EXPECT_FALSE(IsPlausiblePort(bad)) << bad;
}

}  // namespace
}  // namespace ov
