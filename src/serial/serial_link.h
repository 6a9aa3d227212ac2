#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/event_host.h"
#include "serial/port_link.h"
#include "serial/serial_port.h"
#include "ui/progress_view.h"

namespace ov {

// The number in a COM name ("COM12", "com3", "USB-SERIAL (COM7)"); raises the
// "No serial port available!" error when there is none.
int PortNumberFromName(const std::string& name);

// "COM3" below 10, "\\.\COM10" from 10: the names COM numbers have always opened.
std::string ComDeviceName(int number);

// True for a device path ("/dev/ttyUSB0") or a bare tty name ("ttyUSB0").
bool IsDevicePathName(const std::string& name);
// "ttyUSB0" becomes "/dev/ttyUSB0"; paths stay as they are.
std::string DevicePathOf(const std::string& name);

// The window's handle on the port for one download.
class SerialLink : public PortLink {
  public:
    explicit SerialLink(const LinkContext& context) : context_(context) {}

    // A device path, a tty name, or a COM name; raises the "Open failed!" error on failure.
    void OpenByName(const std::string& name) override;
    void OpenByNumber(int number);
    void OpenByPath(const std::string& path) override;
    // Raises "open com first when send data." when closed; dumps every frame but the
    // 10-byte sync pattern in debug operation.
    void Send(const std::uint8_t* bytes, std::size_t length) override;
    void Close() override { port_.Close(); }
    bool IsOpen() const { return port_.IsOpen(); }
    const std::string& DevicePath() const { return devicePath_; }

  private:
    LinkContext context_;
    SerialPort port_;
    std::string devicePath_;
};

}  // namespace ov
