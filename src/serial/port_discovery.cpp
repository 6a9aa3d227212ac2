#include "serial/port_discovery.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "common/file_util.h"
#include "serial/posix/serial_device.h"
#include "serial/serial_link.h"

namespace ov {

namespace {

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<std::string> TtyNames(const PortBackend& backend) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir((backend.sysRoot + "/class/tty").c_str())) {
        while (dirent* e = ::readdir(dir)) names.push_back(e->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string Parent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

// The subsystem a device belongs to: the name its "subsystem" link points at.
std::string Subsystem(const std::string& device) {
    const std::string target = RealPath(device + "/subsystem");
    const auto slash = target.rfind('/');
    return slash == std::string::npos ? "" : target.substr(slash + 1);
}

bool IsRealPort(const PortBackend& backend, const std::string& name) {
    const std::string tty = backend.sysRoot + "/class/tty/" + name;
    if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM")) return true;
    if (!StartsWith(name, "ttyS") && !StartsWith(name, "ttyAMA")) return false;
    const std::string device = RealPath(tty + "/device");
    if (device.empty()) return false;
    const std::string subsystem = Subsystem(device);
    if (subsystem == "platform") return false;
    // The 8250 driver registers placeholders with no UART behind them: their type reads 0.
    const std::string type = ReadLine(tty + "/type");
    if (subsystem == "serial-base" || !type.empty()) return !type.empty() && type != "0";
    return true;
}

}  // namespace

std::vector<std::string> ListSerialPorts(const PortBackend& backend) {
    std::vector<std::string> ports;
    for (const std::string& name : TtyNames(backend))
        if (IsRealPort(backend, name)) ports.push_back(backend.devRoot + "/" + name);
    return ports;
}

std::vector<std::string> PortListItems(const PortBackend& backend) {
    std::vector<std::string> items = {"USB"};
    for (const std::string& port : ListSerialPorts(backend)) items.push_back(port);
    return items;
}

void FillPortList(Controls& controls, const PortBackend& backend) {
    const std::vector<std::string> items = PortListItems(backend);
    controls.SetItems(ctl::kPortCombo, items);
    if (items.size() == 1) controls.Select(ctl::kPortCombo, 0);
}

bool PortNamesEqual(const std::string& item, const std::string& wanted) {
    if (IsDevicePathName(wanted)) return item == DevicePathOf(wanted);
    std::string name = wanted;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name.find("com") == std::string::npos) name = "com" + name;
    return ::strcasecmp(name.c_str(), item.c_str()) == 0;
}

namespace {

// A tty device that the port list may not hold: a pseudo-terminal, a /dev/serial/by-id/ link.
std::optional<std::string> TtyDevicePath(const std::string& name) {
    if (!IsDevicePathName(name) || !posix::IsTtyDevice(DevicePathOf(name))) return std::nullopt;
    return DevicePathOf(name);
}

}  // namespace

std::optional<std::string> FindPort(const std::string& name, const PortBackend& backend) {
    for (const std::string& item : PortListItems(backend))
        if (PortNamesEqual(item, name)) return item;
    return TtyDevicePath(name);
}

std::string StoredPortChoice(const std::string& stored, const PortBackend& backend) {
    const std::vector<std::string> items = PortListItems(backend);
    if (!stored.empty()) {
        for (const std::string& item : items)
            if (::strcasecmp(item.c_str(), stored.c_str()) == 0) return item;
        if (auto device = TtyDevicePath(stored)) return *device;
    }
    return items.size() == 1 ? items.front() : "";
}

bool SelectPortByName(Controls& controls, const std::string& name, const PortBackend& backend) {
    FillPortList(controls, backend);
    const auto port = FindPort(name, backend);
    if (!port) return false;
    if (!controls.SelectExact(ctl::kPortCombo, *port)) AddDevicePathToPortList(controls, *port);
    return true;
}

bool AddDevicePathToPortList(Controls& controls, const std::string& name) {
    const auto device = TtyDevicePath(name);
    if (!device) return false;
    auto items = controls.Items(ctl::kPortCombo);
    items.push_back(*device);
    controls.SetItems(ctl::kPortCombo, items);
    controls.Select(ctl::kPortCombo, static_cast<int>(items.size() - 1));
    return true;
}

std::vector<std::string> UsbSerialPorts(std::uint16_t vid, std::uint16_t pid,
                                        const PortBackend& backend) {
    std::vector<std::string> ports;
    for (const std::string& name : TtyNames(backend)) {
        if (!StartsWith(name, "ttyUSB") && !StartsWith(name, "ttyACM")) continue;
        const auto id = UsbIdentityOf(name, backend);
        if (!id || id->vid != vid || id->pid != pid) continue;
        const std::string device = backend.devRoot + "/" + name;
        if (FileExists(device)) ports.push_back(device);  // else no usable tty behind this match
    }
    return ports;
}

std::optional<std::string> FirstUsbSerialPort(std::uint16_t vid, std::uint16_t pid,
                                              const PortBackend& backend) {
    const std::vector<std::string> ports = UsbSerialPorts(vid, pid, backend);
    if (ports.empty()) return std::nullopt;
    return ports.front();
}

namespace {

// The sysfs folders above a tty's device, nearest first: a cdc-acm tty hangs off the USB
// interface, a usb-serial one a level lower, and the USB device is above the interface.
std::vector<std::string> TtyDeviceAncestors(const std::string& devicePath,
                                            const PortBackend& backend) {
    std::vector<std::string> dirs;
    const std::string name = devicePath.substr(devicePath.rfind('/') + 1);
    for (std::string dir = RealPath(backend.sysRoot + "/class/tty/" + name + "/device");
         dirs.size() < 4 && !dir.empty(); dir = Parent(dir))
        dirs.push_back(dir);
    return dirs;
}

}  // namespace

// The USB device above a tty is the first ancestor with idVendor and idProduct.
std::optional<UsbIdentity> UsbIdentityOf(const std::string& devicePath,
                                         const PortBackend& backend) {
    for (const std::string& dir : TtyDeviceAncestors(devicePath, backend)) {
        const std::string v = ReadLine(dir + "/idVendor"), p = ReadLine(dir + "/idProduct");
        if (v.empty() || p.empty()) continue;
        return UsbIdentity{static_cast<std::uint16_t>(std::strtoul(v.c_str(), nullptr, 16)),
                           static_cast<std::uint16_t>(std::strtoul(p.c_str(), nullptr, 16)),
                           ReadLine(dir + "/serial")};
    }
    return std::nullopt;
}

std::string UsbSlot(const std::string& devicePath, const PortBackend& backend) {
    for (const std::string& dir : TtyDeviceAncestors(devicePath, backend)) {
        std::string part = dir.substr(dir.rfind('/') + 1);
        const auto colon = part.find(':');
        if (colon == std::string::npos || part.find('-') > colon) continue;
        part[part.find('-')] = '.';
        return "usb-" + part;
    }
    return {};
}

std::uint16_t UsbIdOrDefault(const std::string& text, std::uint16_t fallback) {
    if (text.empty()) return fallback;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 16);
    return (*end == '\0' && value <= 0xFFFF) ? static_cast<std::uint16_t>(value) : fallback;
}

}  // namespace ov
