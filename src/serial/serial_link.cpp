#include "serial/serial_link.h"

#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/loader_error.h"
#include "log/log_view.h"
#include "log/text.h"
#include "ui/language.h"

namespace ov {

int PortNumberFromName(const std::string& name) {
    // The first "com" (any case) followed by digits, anywhere in the name.
    for (std::size_t i = 0; i + 3 < name.size(); ++i) {
        if (::strncasecmp(name.c_str() + i, "com", 3) != 0 ||
            !std::isdigit(static_cast<unsigned char>(name[i + 3])))
            continue;
        std::size_t end = i + 3;
        while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end]))) ++end;
        return std::stoi(name.substr(i + 3, end - i - 3));  // std::out_of_range beyond 32 bits
    }
    throw LoaderError(
        Bilingual{"No serial port available! \r\n Please check whether the device "
                  "is well \r\nconnected and whether the serial port driver has "
                  "been installed .",
                  "没有可用的串行端口！ \r\n 请检查设备是否连接良好\r\n串口驱动程"
                  "序是否已安装。"}
            .Here());
}

std::string ComDeviceName(int number) {
    return (number < 10 ? "COM" : "\\\\.\\COM") + std::to_string(number);
}

bool IsDevicePathName(const std::string& name) {
    return name.rfind('/', 0) == 0 || name.rfind("tty", 0) == 0;
}

std::string DevicePathOf(const std::string& name) {
    return name.rfind("tty", 0) == 0 ? "/dev/" + name : name;
}

namespace {

[[noreturn]] void OpenFailed(const std::string& path, int error) {
    const std::string cause = path + ": " + std::strerror(error);
    throw LoaderError(ErrorKind::Port,
                      Bilingual{"Open failed!\r\n Please check: \r\n 1. Whether the serial "
                                "port number is correct; \r\n 2, whether the serial port number "
                                "is occupied by other programs; \r\n3, whether the device "
                                "connection is normal! ",
                                "打开失败！请检查：\r\n 1，串行端口号是否正确； \r\n 2，串行端口"
                                "号是否被其他程序占用； \r\n 3，设备连接是否正常！"}
                          .Here(),
                      cause);
}

}  // namespace

void SerialLink::OpenByName(const std::string& name) {
    if (IsDevicePathName(name)) return OpenByPath(DevicePathOf(name));
    OpenByNumber(PortNumberFromName(name));
}

void SerialLink::OpenByNumber(int number) { OpenByPath(ComDeviceName(number)); }

void SerialLink::OpenByPath(const std::string& path) {
    if (!port_.Open(path, context_.events, context_.source)) OpenFailed(path, errno);
    devicePath_ = path;
}

void SerialLink::Send(const std::uint8_t* bytes, std::size_t length) {
    if (!port_.IsOpen()) throw LoaderError(ErrorKind::Port, "open com first when send data.");
    port_.Write(bytes, length);
    if (context_.debugMode && length != 10 && context_.view != nullptr)
        context_.view->AppendLogView(HexBytes(bytes, length), kLogSend);
}

std::unique_ptr<PortLink> SerialLinkFactory::Create(const LinkContext& context) {
    return std::make_unique<SerialLink>(context);
}

}  // namespace ov
