#include "serial/port_discovery.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include "support/test_files.h"
#include "ui/controls_model.h"

namespace ov {
namespace {

// A fake sysfs and /dev laid out like the kernel's.
class FakeSysfs {
  public:
    FakeSysfs() {
        backend.sysRoot = dir.File("sys");
        backend.devRoot = dir.File("dev");
        Mkdir("dev");
        Mkdir("sys/class/tty");
        Mkdir("sys/bus/platform");
        Mkdir("sys/bus/pnp");
        Mkdir("sys/bus/serial-base");
    }
    void Mkdir(const std::string& rel) { test::RunCommand("mkdir -p '" + dir.File(rel) + "'"); }
    void Link(const std::string& target, const std::string& rel) {
        test::RunCommand("ln -s '" + dir.File(target) + "' '" + dir.File(rel) + "'");
    }
    void Usb(const std::string& device, const std::string& vid, const std::string& pid) {
        Mkdir("sys/devices/usb1/" + device);
        test::WriteFile(dir.File("sys/devices/usb1/" + device + "/idVendor"), vid + "\n");
        test::WriteFile(dir.File("sys/devices/usb1/" + device + "/idProduct"), pid + "\n");
    }
    // cdc-acm: the tty's device is the USB interface.
    void Acm(const std::string& name, const std::string& usb, bool devNode = true) {
        const std::string iface = "sys/devices/usb1/" + usb + "/" + usb + ":1.0";
        Mkdir(iface);
        Mkdir("sys/class/tty/" + name);
        Link(iface, "sys/class/tty/" + name + "/device");
        if (devNode) test::WriteFile(dir.File("dev/" + name), "");
    }
    // usb-serial: the tty's device is a port below the interface.
    void UsbSerial(const std::string& name, const std::string& usb) {
        const std::string port = "sys/devices/usb1/" + usb + "/" + usb + ":1.0/" + name;
        Mkdir(port);
        Mkdir("sys/class/tty/" + name);
        Link(port, "sys/class/tty/" + name + "/device");
        test::WriteFile(dir.File("dev/" + name), "");
    }
    void Uart(const std::string& name, const std::string& bus, const std::string& type) {
        const std::string device = "sys/devices/" + bus + "/" + name + "-dev";
        Mkdir(device);
        Link("sys/bus/" + bus, device + "/subsystem");
        Mkdir("sys/class/tty/" + name);
        Link(device, "sys/class/tty/" + name + "/device");
        test::WriteFile(dir.File("sys/class/tty/" + name + "/type"), type + "\n");
        test::WriteFile(dir.File("dev/" + name), "");
    }
    std::string Dev(const std::string& name) const { return dir.File("dev/" + name); }

    test::TempDir dir;
    PortBackend backend;
};

TEST(PortDiscovery, ListsRealPortsAndFindsTheChipByItsIds) {
    FakeSysfs fs;
    fs.Usb("1-1", "1209", "5841");
    fs.Usb("1-2", "1209", "5841");
    fs.Usb("1-3", "1209", "5841");
    fs.Usb("1-4", "0403", "6001");
    fs.Acm("ttyACM0", "1-1");
    fs.Acm("ttyACM1", "1-3", false);  // matches, but no tty to open
    fs.UsbSerial("ttyUSB0", "1-2");
    fs.UsbSerial("ttyUSB1", "1-4");
    fs.Uart("ttyS0", "platform", "0");     // a placeholder
    fs.Uart("ttyS1", "pnp", "4");          // a real 16550A
    fs.Uart("ttyS2", "serial-base", "0");  // registered, nothing behind it
    fs.Uart("ttyS3", "serial-base", "4");
    fs.Mkdir("sys/class/tty/tty0");
    fs.Mkdir("sys/class/tty/console");

    EXPECT_EQ(ListSerialPorts(fs.backend),
              (std::vector<std::string>{fs.Dev("ttyACM0"), fs.Dev("ttyACM1"), fs.Dev("ttyS1"),
                                        fs.Dev("ttyS3"), fs.Dev("ttyUSB0"), fs.Dev("ttyUSB1")}));
    // ttyACM1 has the chip's IDs but no device node: nothing to open, so not listed.
    EXPECT_EQ(UsbSerialPorts(0x1209, 0x5841, fs.backend),
              (std::vector<std::string>{fs.Dev("ttyACM0"), fs.Dev("ttyUSB0")}));
    EXPECT_EQ(FirstUsbSerialPort(0x1209, 0x5841, fs.backend), fs.Dev("ttyACM0"));
    EXPECT_EQ(FirstUsbSerialPort(0x0403, 0x6001, fs.backend).has_value(), true);
    EXPECT_EQ(FirstUsbSerialPort(0x0403, 0x6002, fs.backend), std::nullopt);

    ControlsModel controls;
    FillPortList(controls, fs.backend);
    EXPECT_EQ(controls.Items(ctl::kPortCombo).front(), "USB");
    EXPECT_EQ(controls.Items(ctl::kPortCombo).size(), 7u);
    EXPECT_EQ(controls.Selection(ctl::kPortCombo), -1);
    EXPECT_TRUE(SelectPortByName(controls, fs.Dev("ttyUSB1"), fs.backend));
    EXPECT_EQ(controls.SelectedText(ctl::kPortCombo), fs.Dev("ttyUSB1"));
}

TEST(PortDiscovery, EmptyMachineSelectsUsbAlone) {
    FakeSysfs fs;
    ControlsModel controls;
    FillPortList(controls, fs.backend);
    EXPECT_EQ(controls.Items(ctl::kPortCombo), std::vector<std::string>{"USB"});
    EXPECT_EQ(controls.Selection(ctl::kPortCombo), 0);
    EXPECT_EQ(UsbIdOrDefault("", kDefaultUsbVid), kDefaultUsbVid);
    EXPECT_EQ(UsbIdOrDefault("1a86", kDefaultUsbVid), 0x1A86);
    EXPECT_EQ(UsbIdOrDefault("zz", kDefaultUsbPid), kDefaultUsbPid);
}

TEST(PortDiscovery, NamesSelectTheirPort) {
    EXPECT_TRUE(PortNamesEqual("COM3", "COM3"));
    EXPECT_TRUE(PortNamesEqual("COM3", "com3"));
    EXPECT_TRUE(PortNamesEqual("COM3", "3"));
    EXPECT_FALSE(PortNamesEqual("COM3", "COM30"));
    EXPECT_FALSE(PortNamesEqual("USB", "USB"));  // becomes comusb
    EXPECT_TRUE(PortNamesEqual("/dev/ttyUSB0", "/dev/ttyUSB0"));
    EXPECT_TRUE(PortNamesEqual("/dev/ttyUSB0", "ttyUSB0"));
    EXPECT_FALSE(PortNamesEqual("/dev/ttyUSB0", "ttyUSB1"));

    FakeSysfs fs;
    fs.Usb("1-2", "0403", "6001");
    fs.UsbSerial("ttyUSB0", "1-2");
    ControlsModel controls;
    EXPECT_FALSE(SelectPortByName(controls, "COM3", fs.backend));
    // The fake tree names /dev paths under its own root; a real pseudo-terminal is added.
    int master = -1, slave = -1;
    char name[256];
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    EXPECT_TRUE(SelectPortByName(controls, name, fs.backend));
    EXPECT_EQ(controls.SelectedText(ctl::kPortCombo), name);
    EXPECT_FALSE(SelectPortByName(controls, "/dev/no-such-tty", fs.backend));

    // Given by the operator, or stored in the settings: the same item as the list would show.
    EXPECT_EQ(FindPort(name, fs.backend), std::string(name));
    EXPECT_EQ(FindPort("COM3", fs.backend), std::nullopt);
    EXPECT_EQ(FindPort(fs.Dev("ttyUSB0"), fs.backend), fs.Dev("ttyUSB0"));
    EXPECT_EQ(StoredPortChoice("usb", fs.backend), "USB");
    EXPECT_EQ(StoredPortChoice(name, fs.backend), name);
    EXPECT_EQ(StoredPortChoice(fs.Dev("ttyUSB0"), fs.backend), fs.Dev("ttyUSB0"));
    EXPECT_EQ(StoredPortChoice("COM3", fs.backend), "");  // two items: none chosen
    EXPECT_EQ(StoredPortChoice("", FakeSysfs().backend), "USB");
    ::close(slave);
    ::close(master);
}

}  // namespace
}  // namespace ov
