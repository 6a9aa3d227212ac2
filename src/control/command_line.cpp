#include "control/command_line.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>

#include "common/file_util.h"

namespace ov {

const char* const kHelpText =
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

namespace {

struct ParseFailure {
    std::string error;
};

std::string Format(const char* pattern, const std::string& value) {
    std::string text(pattern);
    text.replace(text.find("%s"), 2, value);
    return text;
}

// A decimal number as strtol reads it: blanks, one sign, digits up to the first other character.
bool ParseTimeout(const std::string& text, int& value) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(start, &end, 10);
    if (end == start || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

void Parse(const std::vector<std::string>& all, CommandLineOptions& o) {
    std::vector<std::string> positional;
    for (const auto& a : all)
        if (a[0] != '-') positional.push_back(a);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string& a = all[i];
        if (a == "-h" || a == "--help") {
            o.helpRequested = true;
            o.valid = true;
            return;
        }
        if (a == "-d" || a == "--debug") {
            o.debug = true;
            continue;
        }
        if (a[0] != '-') continue;
        if (i + 1 >= all.size() || all[i + 1][0] == '-')
            throw ParseFailure{Format("选项 %s 缺少参数值", a)};
        const std::string& value = all[i + 1];
        const bool isLong = a.rfind("--", 0) == 0;
        bool known = true;
        if (a == (isLong ? "--file" : "-f")) {
            o.filePath = value;
        } else if (a == (isLong ? "--port" : "-p")) {
            o.port = value;
        } else if (a == (isLong ? "--timeout" : "-t")) {
            known = ParseTimeout(value, o.timeoutMs) && o.timeoutMs >= 1 && o.timeoutMs <= 60000;
        } else {
            known = false;
        }
        if (!known) throw ParseFailure{Format("未知选项: %s", a)};
        ++i;
    }
    if (o.filePath.empty() && !positional.empty()) {
        if (positional.size() == 1) {
            o.filePath = positional[0];
            o.port = "USB";
        } else if (positional.size() == 2) {
            o.port = positional[0];
            o.filePath = positional[1];
        } else {
            throw ParseFailure{"无法解析位置参数"};
        }
    }
    if (o.filePath.empty()) throw ParseFailure{"必须指定文件路径（使用 -f 或 --file）"};
    if (!FileExists(o.filePath)) throw ParseFailure{Format("文件不存在: %s", o.filePath)};
    if (o.port.empty()) o.port = "USB";
    if (!IsPlausiblePort(o.port)) throw ParseFailure{Format("无效的串口参数: %s", o.port)};
    o.valid = true;
}

}  // namespace

CommandLineOptions ParseCommandLine(const std::vector<std::string>& args) {
    CommandLineOptions o;
    if (args.empty()) {
        o.error = "无效的命令行参数";
        return o;
    }
    if (args.size() == 1) {
        o.helpRequested = o.valid = true;
        return o;
    }
    std::vector<std::string> all;
    for (std::size_t i = 1; i < args.size(); ++i)
        if (!args[i].empty()) all.push_back(args[i]);
    try {
        Parse(all, o);
    } catch (const ParseFailure& f) {
        o.valid = false;
        o.error = f.error;
    } catch (const std::exception& e) {
        o.valid = false;
        o.error = std::string("解析异常: ") + e.what();
    } catch (...) {
        o.valid = false;
        o.error = "未知解析错误";
    }
    return o;
}

bool IsPlausiblePort(const std::string& port) {
    if (port.rfind('/', 0) == 0 || port.rfind("tty", 0) == 0) return true;
    std::string upper = port;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (upper.find("USB") != std::string::npos || upper.find("COM") != std::string::npos)
        return true;
    return std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace ov
