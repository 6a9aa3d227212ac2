#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/controls.h"

namespace ov {

// The chip's USB serial device, unless the settings name another ("UsbVid", "UsbPid").
inline constexpr std::uint16_t kDefaultUsbVid = 0x1209;
inline constexpr std::uint16_t kDefaultUsbPid = 0x5841;

// Where serial devices are looked for: sysfs and /dev, or fake trees in tests.
struct PortBackend {
    std::string sysRoot = "/sys";
    std::string devRoot = "/dev";
};

// The serial ports present now, as device paths, sorted: ttyUSB*, ttyACM*, and ttyS* /
// ttyAMA* only where a real UART backs them.
std::vector<std::string> ListSerialPorts(const PortBackend& backend = {});

// The port list's items: "USB", then the ports.
std::vector<std::string> PortListItems(const PortBackend& backend = {});

// "USB", then the ports; selects "USB" when it stands alone.
void FillPortList(Controls& controls, const PortBackend& backend = {});

// Item and wanted name are equal as COM names ("3", "com3" and "COM3" select COM3), or as
// device paths ("ttyUSB0" selects /dev/ttyUSB0).
bool PortNamesEqual(const std::string& item, const std::string& wanted);

// The item a port name given by the operator chooses: the item equal to it (as PortNamesEqual
// sees it), else a tty device path that is not listed (a pseudo-terminal, /dev/serial/by-id/...);
// nothing when there is no such port.
std::optional<std::string> FindPort(const std::string& name, const PortBackend& backend = {});

// The item a port stored in the settings chooses: the item equal to it without regard to case,
// else a tty device path that is not listed, else what the fresh list selects ("USB" when it
// stands alone, none otherwise: "").
std::string StoredPortChoice(const std::string& stored, const PortBackend& backend = {});

// Rebuilds the list and selects the port; a tty device path that is not listed (a
// pseudo-terminal, /dev/serial/by-id/...) is added and selected.
bool SelectPortByName(Controls& controls, const std::string& name, const PortBackend& backend = {});

// Adds and selects a tty device path that the list does not hold; false when it is none.
bool AddDevicePathToPortList(Controls& controls, const std::string& name);

// The device paths of the USB serial devices with the IDs, in name order.
std::vector<std::string> UsbSerialPorts(std::uint16_t vid, std::uint16_t pid,
                                        const PortBackend& backend = {});

// The first USB serial device with the IDs, in name order; none when no such device is there.
std::optional<std::string> FirstUsbSerialPort(std::uint16_t vid, std::uint16_t pid,
                                              const PortBackend& backend = {});

// The physical USB path of a serial device ("usb-1.4:1.0": bus 1, port 4, interface 1.0), which
// stays the same when the chip re-enumerates under another tty name; empty when the device
// is no USB device.
std::string UsbSlot(const std::string& devicePath, const PortBackend& backend = {});

// The USB identity of a serial device: its IDs and the device's serial number (may be empty).
struct UsbIdentity {
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::string serial;
};
std::optional<UsbIdentity> UsbIdentityOf(const std::string& devicePath,
                                         const PortBackend& backend = {});

// A hexadecimal ID from the settings ("UsbVid", "UsbPid"), or the default.
std::uint16_t UsbIdOrDefault(const std::string& text, std::uint16_t fallback);

}  // namespace ov
