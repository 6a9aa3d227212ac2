#include "station_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/test_files.h"

namespace ov::gang {
namespace {

// A fake station: sysfs, /dev, /proc and udev rule folders under one temporary directory.
class StationCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        roots.ports.sysRoot = dir.File("sys");
        roots.ports.devRoot = dir.File("dev");
        roots.proc = dir.File("proc");
        roots.udevRules = {dir.File("etc-rules"), dir.File("lib-rules")};
        roots.canReadWrite = [this](const std::string& path) { return path != noAccess; };
        Run("mkdir -p '" + dir.File("sys/class/tty") + "' '" + dir.File("dev") + "' '" +
            dir.File("proc") + "' '" + dir.File("etc-rules") + "' '" + dir.File("lib-rules") + "'");
    }
    void Run(const std::string& command) { ASSERT_EQ(test::RunCommand(command), 0) << command; }
    // A USB serial device at bus 1, port `port`, with its IDs and serial number.
    void Device(const std::string& tty, const std::string& port, const char* vid, const char* pid,
                const char* serial) {
        const std::string usb = dir.File("sys/devices/usb1/1-" + port);
        const std::string iface = usb + "/1-" + port + ":1.0";
        Run("mkdir -p '" + iface + "/tty/" + tty + "' '" + dir.File("sys/class/tty/" + tty) +
            "' && ln -s '" + iface + "' '" + dir.File("sys/class/tty/" + tty + "/device") + "'");
        test::WriteFile(usb + "/idVendor", std::string(vid) + "\n");
        test::WriteFile(usb + "/idProduct", std::string(pid) + "\n");
        test::WriteFile(usb + "/serial", std::string(serial) + "\n");
        test::WriteFile(dir.File("dev/" + tty), "");
    }
    // A process with a name, holding a file open.
    void Process(int pid, const std::string& name, const std::string& holds = "") {
        const std::string p = dir.File("proc/" + std::to_string(pid));
        Run("mkdir -p '" + p + "/fd'");
        test::WriteFile(p + "/comm", name + "\n");
        if (!holds.empty()) Run("ln -s '" + holds + "' '" + p + "/fd/3'");
    }
    void Rule() {
        test::WriteFile(dir.File("lib-rules/60-ov58xx.rules"),
                        "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"1209\", "
                        "ATTRS{idProduct}==\"5841\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n");
    }

    test::TempDir dir;
    StationRoots roots;
    std::string noAccess;
};

TEST_F(StationCheckTest, ReadyOnlyWithTheRuleFreePortsAndNoGrabbingService) {
    Device("ttyACM0", "4", "1209", "5841", "CHIP01");
    Device("ttyUSB0", "2", "0403", "6001", "FT1");
    Process(100, "bash");
    Rule();
    StationCheck ready = CheckStation(roots, 0x1209, 0x5841);
    EXPECT_TRUE(ready.Ready()) << CheckText(ready, 0x1209, 0x5841);
    ASSERT_EQ(ready.ports.size(), 2u);
    EXPECT_EQ(ready.ports[0].path, dir.File("dev/ttyACM0"));
    EXPECT_TRUE(ready.ports[0].chip);
    EXPECT_EQ(ready.ports[0].serial, "CHIP01");
    EXPECT_EQ(ready.ports[0].slot, "usb-1.4:1.0");
    EXPECT_FALSE(ready.ports[1].chip);
    EXPECT_EQ(ready.rulePath, dir.File("lib-rules/60-ov58xx.rules"));
    EXPECT_NE(CheckText(ready, 0x1209, 0x5841).find("The station is ready."), std::string::npos);
    EXPECT_NE(CheckJson(ready).find("\"ready\":true"), std::string::npos);

    // Another program holds the chip's port: named, with its pid.
    Process(4242, "minicom", dir.File("dev/ttyACM0"));
    StationCheck held = CheckStation(roots, 0x1209, 0x5841);
    EXPECT_FALSE(held.Ready());
    ASSERT_EQ(held.ports[0].heldBy.size(), 1u);
    EXPECT_EQ(held.ports[0].heldBy[0].name, "minicom");
    EXPECT_EQ(held.ports[0].heldBy[0].pid, 4242);
    EXPECT_NE(CheckText(held, 0x1209, 0x5841).find("held by minicom (pid 4242)"),
              std::string::npos);
    EXPECT_NE(CheckJson(held).find("\"held_by\":[{\"pid\":4242,\"name\":\"minicom\"}]"),
              std::string::npos);
    Run("rm -rf '" + dir.File("proc/4242") + "'");

    // This user may not open the chip's port.
    noAccess = dir.File("dev/ttyACM0");
    StationCheck locked = CheckStation(roots, 0x1209, 0x5841);
    EXPECT_FALSE(locked.Ready());
    EXPECT_FALSE(locked.ports[0].readWrite);
    EXPECT_EQ(locked.problems,
              std::vector<std::string>{dir.File("dev/ttyACM0") +
                                       ": this user cannot open it for reading and writing"});
    noAccess.clear();

    // ModemManager runs: kept off by the rule; without the rule, the station is not ready.
    Process(77, "ModemManager");
    StationCheck keptOff = CheckStation(roots, 0x1209, 0x5841);
    EXPECT_TRUE(keptOff.Ready()) << CheckText(keptOff, 0x1209, 0x5841);
    ASSERT_EQ(keptOff.services.size(), 1u);
    EXPECT_TRUE(keptOff.services[0].keptOff);
    ::unlink(dir.File("lib-rules/60-ov58xx.rules").c_str());
    StationCheck exposed = CheckStation(roots, 0x1209, 0x5841);
    EXPECT_FALSE(exposed.Ready());
    EXPECT_FALSE(exposed.services[0].keptOff);
    EXPECT_EQ(exposed.problems.size(),
              2u);  // the rule missing, and ModemManager free to grab the chip
    EXPECT_NE(CheckJson(exposed).find("\"udev_rule\":null"), std::string::npos);
}

}  // namespace
}  // namespace ov::gang
