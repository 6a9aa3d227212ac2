#include "station_check.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "gang_event.h"
#include "log/json.h"

namespace ov::gang {

namespace {

constexpr const char* kRuleName = "60-ov58xx.rules";

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

bool IsPid(const std::string& name) {
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); });
}

// The rules files of every rules folder, later folders shadowed by earlier ones of the same name.
std::vector<std::string> RuleFiles(const StationRoots& roots) {
    std::vector<std::string> files, names;
    for (const std::string& dir : roots.udevRules)
        for (const std::string& name : Entries(dir)) {
            if (name.size() < 7 || name.substr(name.size() - 6) != ".rules") continue;
            if (std::find(names.begin(), names.end(), name) != names.end()) continue;
            names.push_back(name);
            files.push_back(dir + "/" + name);
        }
    return files;
}

// Whether a rule line names both IDs and does what `needle` says.
bool RuleLineFor(const std::string& rules, std::uint16_t vid, std::uint16_t pid,
                 const std::string& needle) {
    std::string vendor = "\"";
    vendor += Hex4(vid);
    vendor += '"';
    std::string product = "\"";
    product += Hex4(pid);
    product += '"';
    std::istringstream lines(rules);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line.find(vendor) != std::string::npos && line.find(product) != std::string::npos &&
            line.find(needle) != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace

StationCheck CheckStation(const StationRoots& roots, std::uint16_t vid, std::uint16_t pid) {
    StationCheck check;
    // Who holds what: every process's open descriptors.
    std::vector<std::pair<ProcessRef, std::string>> open;
    std::vector<ProcessRef> processes;
    for (const std::string& entry : Entries(roots.proc)) {
        if (!IsPid(entry)) continue;
        const ProcessRef process{std::stoi(entry),
                                 Trimmed(ReadAll(roots.proc + "/" + entry + "/comm"))};
        processes.push_back(process);
        const std::string fdDir = roots.proc + "/" + entry + "/fd";
        for (const std::string& fd : Entries(fdDir)) {
            char target[4096];
            const ssize_t n = ::readlink((fdDir + "/" + fd).c_str(), target, sizeof(target) - 1);
            if (n > 0) open.push_back({process, std::string(target, static_cast<std::size_t>(n))});
        }
    }
    for (const std::string& path : ListSerialPorts(roots.ports)) {
        PortCheck port;
        port.path = path;
        if (const auto id = UsbIdentityOf(path, roots.ports)) {
            port.usb = true;
            port.vid = id->vid;
            port.pid = id->pid;
            port.serial = id->serial;
            port.slot = UsbSlot(path, roots.ports);
            port.chip = id->vid == vid && id->pid == pid;
        }
        port.readWrite = roots.canReadWrite ? roots.canReadWrite(path)
                                            : ::access(path.c_str(), R_OK | W_OK) == 0;
        for (const auto& [process, target] : open)
            if (target == path && process.pid != ::getpid()) port.heldBy.push_back(process);
        if (port.chip && !port.readWrite)
            check.problems.push_back(path + ": this user cannot open it for reading and writing");
        for (const ProcessRef& holder : port.heldBy)
            check.problems.push_back(path + ": held by " + holder.name + " (pid " +
                                     std::to_string(holder.pid) + ")");
        check.ports.push_back(port);
    }
    std::string allRules;
    for (const std::string& file : RuleFiles(roots)) {
        if (file.substr(file.rfind('/') + 1) == kRuleName && check.rulePath.empty())
            check.rulePath = file;
        allRules += ReadAll(file) + "\n";
    }
    if (check.rulePath.empty())
        check.problems.push_back(std::string("the udev rule ") + kRuleName + " is not installed");
    for (const ProcessRef& process : processes) {
        if (process.name != "ModemManager" && process.name != "brltty") continue;
        ServiceCheck service{process.name, process.pid, false};
        // ModemManager honours ID_MM_DEVICE_IGNORE; brltty claims only the IDs its own rules name.
        service.keptOff = process.name == "ModemManager"
                              ? RuleLineFor(allRules, vid, pid, "ID_MM_DEVICE_IGNORE")
                              : !RuleLineFor(allRules, vid, pid, "brltty");
        if (!service.keptOff)
            check.problems.push_back(process.name + " is running and no udev rule keeps it off " +
                                     Hex4(vid) + ":" + Hex4(pid) +
                                     ": it may open the chip's port as it arrives");
        check.services.push_back(service);
    }
    return check;
}

std::string CheckText(const StationCheck& check, std::uint16_t vid, std::uint16_t pid) {
    std::string text = "Serial ports:\n";
    if (check.ports.empty()) text += "  none\n";
    for (const PortCheck& p : check.ports) {
        text += "  " + p.path;
        if (p.usb) {
            text += "  " + Hex4(p.vid) + ":" + Hex4(p.pid);
            if (!p.serial.empty()) text += "  serial " + p.serial;
            if (!p.slot.empty()) text += "  " + p.slot;
            if (p.chip) text += "  (the chip)";
        }
        text += p.readWrite ? "  read-write" : "  no read-write access";
        if (p.heldBy.empty()) text += "  free";
        for (const ProcessRef& h : p.heldBy)
            text += "  held by " + h.name + " (pid " + std::to_string(h.pid) + ")";
        text += "\n";
    }
    for (const ServiceCheck& s : check.services)
        text += "Service " + s.name + " (pid " + std::to_string(s.pid) + ") is running; " +
                (s.keptOff ? "a udev rule keeps it off " : "nothing keeps it off ") + Hex4(vid) +
                ":" + Hex4(pid) + "\n";
    text += "udev rule: " +
            (check.rulePath.empty() ? std::string("not installed")
                                    : "installed (" + check.rulePath + ")") +
            "\n";
    if (check.Ready()) return text + "The station is ready.\n";
    text += "The station is not ready:\n";
    for (const std::string& problem : check.problems) text += "  - " + problem + "\n";
    return text;
}

std::string CheckJson(const StationCheck& check) {
    Json ports = Json::array(), services = Json::array();
    for (const PortCheck& p : check.ports) {
        Json port;
        port["port"] = p.path;
        port["usb"] = p.usb;
        if (p.usb) {
            port["vid"] = Hex4(p.vid);
            port["pid"] = Hex4(p.pid);
            port["serial"] = p.serial;
            port["slot"] = p.slot;
        }
        port["chip"] = p.chip;
        port["read_write"] = p.readWrite;
        port["held_by"] = Json::array();
        for (const ProcessRef& h : p.heldBy)
            port["held_by"].push_back({{"pid", h.pid}, {"name", h.name}});
        ports.push_back(std::move(port));
    }
    for (const ServiceCheck& s : check.services)
        services.push_back({{"name", s.name}, {"pid", s.pid}, {"kept_off", s.keptOff}});
    Json j;
    j["schema"] = kSchema;
    j["ready"] = check.Ready();
    j["ports"] = std::move(ports);
    j["services"] = std::move(services);
    j["udev_rule"] = TextOrNull(check.rulePath);
    j["problems"] = check.problems;
    return DumpJson(j);
}

}  // namespace ov::gang
