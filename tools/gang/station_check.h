#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "serial/port_discovery.h"

namespace ov::gang {

// Where a station is looked at: the real system, or fake trees in tests.
struct StationRoots {
    PortBackend ports;
    std::string proc = "/proc";
    std::vector<std::string> udevRules = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                          "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
    // Whether this user may open a device read-write; root passes every permission check, so
    // tests of what another user sees answer it themselves.
    std::function<bool(const std::string&)> canReadWrite;
};

struct ProcessRef {
    int pid = 0;
    std::string name;
};

struct PortCheck {
    std::string path;
    bool usb = false;
    std::uint16_t vid = 0, pid = 0;
    std::string serial, slot;
    bool chip = false;       // the chip's own USB IDs
    bool readWrite = false;  // this user may open it for reading and writing
    std::vector<ProcessRef> heldBy;
};

struct ServiceCheck {
    std::string name;  // ModemManager, brltty
    int pid = 0;
    bool keptOff = false;  // a udev rule keeps it off the chip's USB IDs
};

// What a flashing station needs before a line starts: the serial ports with their USB identity,
// whether this user can open each and who holds it, the services that open USB serial devices
// as they arrive, and the udev rule.
struct StationCheck {
    std::vector<PortCheck> ports;
    std::vector<ServiceCheck> services;
    std::string rulePath;  // empty: not installed
    std::vector<std::string> problems;
    bool Ready() const { return problems.empty(); }
};

StationCheck CheckStation(const StationRoots& roots, std::uint16_t vid, std::uint16_t pid);
std::string CheckText(const StationCheck& check, std::uint16_t vid, std::uint16_t pid);
std::string CheckJson(const StationCheck& check);

}  // namespace ov::gang
