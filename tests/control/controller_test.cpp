#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>

#include "control/loader_window.h"
#include "image/signed_container.h"
#include "support/manual_host.h"
#include "support/recording_sinks.h"
#include "support/sim_link.h"
#include "support/test_files.h"
#include "ui/controls_model.h"

namespace ov {
namespace {

class ControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("LC_ALL", "C", 1);
        setenv("OV58XX_LOADER_HOME", dir.Path().c_str(), 1);
        test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(5000, 1));
    }
    void TearDown() override {
        unsetenv("OV58XX_LOADER_HOME");
        unsetenv("LC_ALL");
    }
    // A window on the virtual clock whose port leads to a simulated chip.
    void Make(sim::SimConfig chip, bool commandLine = false) {
        window.reset();
        hostPtr = std::make_unique<test::ManualHost>();
        links = std::make_unique<test::SimLinkFactory>(host(), chip);
        PortBackend ports;
        ports.sysRoot = dir.File("sys");
        ports.devRoot = dir.File("dev");
        window = std::make_unique<LoaderWindow>(host(), controls, log, *links, ports);
        window->InitDialog();
        window->runEnd.commandLineMode = commandLine;
        controls.SetItems(ctl::kPortCombo, {"USB", "COM3"});
        controls.Select(ctl::kPortCombo, 1);
        controls.SetText(ctl::kDownloadImageStatic, dir.File("fw.bin"));
    }
    // What the command line does with the window's request: a script's run never waits open-ended.
    void StartFromControls() {
        DownloadRequest request = window->RequestFromControls();
        request.boundedWaits = window->runEnd.commandLineMode;
        window->controller.StartDownloadGuarded(request);
    }
    bool Finished() const { return log.Has("File downloaded successfully !\r\n\r\n"); }
    int Count(const std::string& entry) const {
        int n = 0;
        for (const auto& e : log.entries) n += e == entry;
        return n;
    }

    test::TempDir dir;
    std::unique_ptr<test::ManualHost> hostPtr = std::make_unique<test::ManualHost>();
    test::ManualHost& host() { return *hostPtr; }
    ControlsModel controls;
    test::RecordingObserver log;
    const RunProgress& progress = log.progress;
    std::unique_ptr<test::SimLinkFactory> links;
    std::unique_ptr<LoaderWindow> window;
};

TEST_F(ControllerTest, ReplyAfter4900MsIsAcceptedAfter5200MsEndsTheRun) {
    sim::SimConfig slow;
    slow.delayMs = 4900;
    Make(slow);
    window->settings.dataTimeoutMs = 5000;
    window->controller.OnDownloadButton();
    EXPECT_TRUE(host().RunUntil([&] { return !window->controller.Running(); }, 120000));
    EXPECT_TRUE(Finished());
    EXPECT_TRUE(links->LastChip().Verified()) << links->LastChip().Verdict();

    sim::SimConfig slower;
    slower.delayMs = 5200;
    log.entries.clear();
    Make(slower);
    window->settings.dataTimeoutMs = 5000;
    const auto start = host().TickCount();
    window->controller.OnDownloadButton();
    EXPECT_TRUE(host().RunUntil([&] { return !window->controller.Running(); }, 60000));
    EXPECT_FALSE(Finished());
    EXPECT_TRUE(log.Has("on timer 超时!\n接收回复超时\n\r\n\r\n"));
    // The 500 ms pause, the chip information after 5.2 s (the sync pattern has no reply
    // timer), then the step-2 frame waits 5000 to 5100 ms for its reply.
    EXPECT_GE(host().TickCount() - start, 500u + 5200 + 5000);
    EXPECT_LE(host().TickCount() - start, 500u + 3 + 5200 + 5100);
    EXPECT_EQ(progress.state, BarState::Failure);
}

TEST_F(ControllerTest, HandshakeTimeoutOnTheCommandLineEndsWith108) {
    sim::SimConfig silent;
    silent.silentFrom = 0;
    Make(silent, true);
    test::RunCommand("mkdir -p '" + dir.File("sys/class/tty") + "' '" + dir.File("dev") + "'");
    test::WriteFile(dir.File("dev/ttyUSB7"), "");
    // The port is named by a device path; it need not be listed to be plausible, but must be.
    window->RunFromCommandLine(
        {"ov58xx-loader", "-f", dir.File("fw.bin"), "-p", "COM3", "-t", "2000"});
    EXPECT_EQ(window->runEnd.exitCode, 100);  // COM3 is not a port of this machine
    // A port the run could not find leaves the dialog's choice, and what the file keeps of it.
    window->FlushSettings();
    EXPECT_EQ(controls.SelectedText(ctl::kPortCombo), "COM3");
    EXPECT_EQ(MainConfig(dir.File("OVLoader.ini")).GetCom(), "COM3");

    Make(silent, true);
    controls.SetItems(ctl::kPortCombo, {});
    window->controller.lastCsn.clear();
    // Through the USB item: the device search never finds a chip, the handshake time-out ends it.
    window->RunFromCommandLine({"ov58xx-loader", "-f", dir.File("fw.bin"), "-t", "2000"});
    EXPECT_TRUE(host().RunUntil([&] { return host().quit; }, 10000));
    EXPECT_EQ(window->runEnd.exitCode, 108);
    EXPECT_TRUE(log.Has("握手超时!\n设备无响应或连接异常\n\r\n\r\n"));
}

TEST_F(ControllerTest, HandshakeTimeoutAt2000MsOnAListedPort) {
    sim::SimConfig silent;
    silent.silentFrom = 0;
    Make(silent, true);
    // A fake machine with one USB serial adapter.
    test::RunCommand("mkdir -p '" + dir.File("sys/devices/usb1/1-2/1-2:1.0/ttyUSB0") + "' '" +
                     dir.File("sys/class/tty/ttyUSB0") + "' '" + dir.File("dev") + "' && ln -s '" +
                     dir.File("sys/devices/usb1/1-2/1-2:1.0/ttyUSB0") + "' '" +
                     dir.File("sys/class/tty/ttyUSB0/device") + "'");
    test::WriteFile(dir.File("dev/ttyUSB0"), "");
    const auto start = host().TickCount();
    window->RunFromCommandLine(
        {"ov58xx-loader", "-f", dir.File("fw.bin"), "-p", dir.File("dev/ttyUSB0"), "-t", "2000"});
    EXPECT_TRUE(host().RunUntil([&] { return host().quit; }, 10000));
    EXPECT_EQ(window->runEnd.exitCode, 108);
    // The handshake's 2000 ms count from the port's opening, after the 500 ms start pause.
    EXPECT_EQ(host().TickCount() - start, 500u + 2000u);
    EXPECT_EQ(links->LastChip().HostFrames(), 0);
}

TEST_F(ControllerTest, ATtyUsbDevicePathIsOpenedAsItIsNotSearchedFor) {
    // A USB serial adapter of another maker: its path holds "USB", but the chip's IDs are
    // nowhere; the run must open the named line, not wait for the chip's own device.
    Make({}, true);
    test::RunCommand("mkdir -p '" + dir.File("sys/devices/usb1/1-2/1-2:1.0/ttyUSB0") + "' '" +
                     dir.File("sys/class/tty/ttyUSB0") + "' '" + dir.File("dev") + "' && ln -s '" +
                     dir.File("sys/devices/usb1/1-2/1-2:1.0/ttyUSB0") + "' '" +
                     dir.File("sys/class/tty/ttyUSB0/device") + "'");
    test::WriteFile(dir.File("sys/devices/usb1/1-2/idVendor"), "0403\n");
    test::WriteFile(dir.File("sys/devices/usb1/1-2/idProduct"), "6001\n");
    test::WriteFile(dir.File("dev/ttyUSB0"), "");
    window->RunFromCommandLine(
        {"ov58xx-loader", "-f", dir.File("fw.bin"), "-p", dir.File("dev/ttyUSB0"), "-t", "2000"});
    EXPECT_TRUE(host().RunUntil([&] { return host().quit; }, 60000));
    EXPECT_EQ(window->runEnd.exitCode, 200);
    ASSERT_FALSE(links->chips.empty());
    EXPECT_TRUE(links->LastChip().Verified()) << links->LastChip().Verdict();
    EXPECT_FALSE(log.Has("Discovery port :" + dir.File("dev/ttyUSB0") + "\r\n\r\n"));
}

TEST_F(ControllerTest, BatchRestartsAfterSuccessButNotAfterAFailure) {
    Make({});
    controls.SetChecked(ctl::kBatchCheck, true);
    window->controller.OnDownloadButton();
    EXPECT_TRUE(host().RunUntil([&] { return links->chips.size() == 3; }, 60000));
    EXPECT_EQ(Count("File downloaded successfully !\r\n\r\n"), 2);
    EXPECT_TRUE(window->controller.Running());
    window->controller.OnDownloadButton();  // Stop
    EXPECT_FALSE(window->controller.Running());
    EXPECT_EQ(controls.Text(ctl::kDownloadButton), "Download");
    EXPECT_EQ(log.entries.back(), "Stop download\r\n\r\n");

    sim::SimConfig refusing;
    refusing.statusAt[{2, 1}] = 3;
    Make(refusing);
    controls.SetChecked(ctl::kBatchCheck, true);
    window->controller.OnDownloadButton();
    host().RunFor(20000);
    EXPECT_EQ(links->chips.size(), 1u);
    EXPECT_FALSE(window->controller.Running());
    EXPECT_TRUE(log.Has("step2:verify error \r\n\r\n"));
}

TEST_F(ControllerTest, SameChipRefusedOnlyAfterFinishedWithExtras) {
    sim::SimConfig variant;
    variant.chip.variant = 1;
    Make(variant);
    window->settings.continuousDownload = false;
    window->controller.OnDownloadButton();
    EXPECT_TRUE(host().RunUntil([&] { return !window->controller.Running(); }, 60000));
    EXPECT_EQ(window->controller.lastCsn, "0123456789ab");
    window->controller.OnDownloadButton();
    EXPECT_TRUE(host().RunUntil([&] { return !window->controller.Running(); }, 60000));
    EXPECT_TRUE(log.Has("Continuous downloading of the same sn is not allowed.\r\n\r\n"));
    EXPECT_EQ(log.ends.back().outcome, RunOutcome::Refused);
    EXPECT_EQ(links->LastChip().HostFrames(), 0);  // no step-2 frame went out

    Make({});
    window->settings.continuousDownload = false;
    log.entries.clear();
    window->controller.OnDownloadButton();
    EXPECT_TRUE(host().RunUntil([&] { return !window->controller.Running(); }, 60000));
    window->controller.OnDownloadButton();
    EXPECT_TRUE(host().RunUntil([&] { return !window->controller.Running(); }, 60000));
    EXPECT_EQ(Count("File downloaded successfully !\r\n\r\n"), 2);
}

TEST_F(ControllerTest, UsbWaitGivesUpAfterFiveFailedOpens) {
    test::RunCommand("mkdir -p '" + dir.File("sys/devices/usb1/1-1/1-1:1.0") + "' '" +
                     dir.File("sys/class/tty/ttyACM0") + "' '" + dir.File("dev") + "' && ln -s '" +
                     dir.File("sys/devices/usb1/1-1/1-1:1.0") + "' '" +
                     dir.File("sys/class/tty/ttyACM0/device") + "'");
    test::WriteFile(dir.File("sys/devices/usb1/1-1/idVendor"), "1209\n");
    test::WriteFile(dir.File("sys/devices/usb1/1-1/idProduct"), "5841\n");
    test::WriteFile(dir.File("dev/ttyACM0"), "");
    Make({});
    links->failOpens = 100;
    controls.Select(ctl::kPortCombo, 0);  // USB
    window->controller.OnDownloadButton();
    host().RunFor(2000);
    EXPECT_EQ(Count("Discovery port :" + dir.File("dev/ttyACM0") + "\r\n\r\n"), 5);
    EXPECT_EQ(log.entries.back(),
              "USB device opening failed!\r\nPlease check:\r\n \t1. Whether the driver is "
              "installed correctly; \r\n\t2, whether "
              "the USB serial port is occupied by other programs; \r\n\t3, whether the device "
              "connection is normal! \r\n\r\n");
    EXPECT_FALSE(window->controller.Running());
    EXPECT_FALSE(host().TimerRunning(kTimerUsbSearch));

    Make({});
    links->failOpens = 2;
    controls.Select(ctl::kPortCombo, 0);
    window->controller.OnDownloadButton();
    EXPECT_TRUE(host().RunUntil([&] { return !window->controller.Running(); }, 60000));
    EXPECT_TRUE(links->LastChip().Verified());
}

TEST_F(ControllerTest, PortErrorsAndStartErrorsEndWith300) {
    sim::SimConfig closing;
    closing.closeAfter = 3;
    Make(closing, true);
    StartFromControls();
    EXPECT_TRUE(host().RunUntil([&] { return host().quit; }, 60000));
    EXPECT_EQ(window->runEnd.exitCode, 300);
    ASSERT_FALSE(log.ends.empty());
    EXPECT_EQ(log.ends.back().outcome, RunOutcome::PortError);

    Make({}, true);
    host().quit = false;
    test::WriteFile(dir.File("fw.txt"), "x");
    controls.SetText(ctl::kDownloadImageStatic, dir.File("fw.txt"));
    StartFromControls();
    EXPECT_EQ(window->runEnd.exitCode, 300);
    EXPECT_TRUE(host().quit);
    EXPECT_EQ(log.ends.back().outcome, RunOutcome::Error);
    EXPECT_EQ(log.ends.back().code, 300);

    // Window mode: the text goes to the log view and the code is not kept.
    Make({});
    controls.SetText(ctl::kDownloadImageStatic, "");
    window->controller.OnDownloadButton();
    EXPECT_EQ(log.entries.back(), "Please select boot firmware file !\r\n\r\n");
    EXPECT_EQ(window->runEnd.exitCode, 0);
}

TEST_F(ControllerTest, AnImageChangedMidRunEndsItInBothModesAndAReplacedOneIsNeverRead) {
    // The image is read from the file opened for the run: removing it, or putting another file
    // in its place, changes nothing of what the chip gets (it checks the image against the
    // digest taken when the run began).
    Make({});
    window->controller.OnDownloadButton();
    ASSERT_TRUE(host().RunUntil(
        [&] { return !links->chips.empty() && links->LastChip().ImageBytes() > 0; }, 60000));
    ::unlink(dir.File("fw.bin").c_str());
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(5000, 99));
    EXPECT_TRUE(host().RunUntil([&] { return !window->controller.Running(); }, 60000));
    EXPECT_NE(links->LastChip().Verdict().find("OK image verified (5000 bytes"), std::string::npos)
        << links->LastChip().Verdict();

    // One that shrinks mid-run ends it in the window as on the command line: bar red, the
    // message shown, the button back, one end with 300; the log file says by how much.
    for (const bool commandLine : {false, true}) {
        SCOPED_TRACE(commandLine ? "command line" : "window");
        test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(5000, 1));
        Make({}, commandLine);
        log.ends.clear();
        StartFromControls();
        ASSERT_TRUE(host().RunUntil(
            [&] { return !links->chips.empty() && links->LastChip().ImageBytes() > 0; }, 60000));
        ASSERT_EQ(::truncate(dir.File("fw.bin").c_str(), 3000), 0);
        EXPECT_TRUE(host().RunUntil([&] { return !window->controller.Running(); }, 60000));
        const std::string message =
            "The firmware file changed during the download: [" + dir.File("fw.bin") + "]";
        EXPECT_TRUE(log.Has(message + "\r\n\r\n")) << log.All();
        ASSERT_EQ(log.ends.size(), 1u);
        EXPECT_EQ(log.ends[0].code, 300);
        EXPECT_EQ(log.ends[0].outcome, RunOutcome::Error);
        EXPECT_EQ(progress.state, BarState::Failure);
        EXPECT_EQ(controls.Text(ctl::kDownloadButton), "Download");
        EXPECT_FALSE(host().TimerRunning(kTimerSession));
        EXPECT_EQ(window->runEnd.exitCode, commandLine ? 300 : 0);
        EXPECT_EQ(host().quit, commandLine);
        EXPECT_NE(test::ReadText(dir.File("log/download.log"))
                      .find(message + " (its size went from 5000 to 3000 bytes)"),
                  std::string::npos);
    }
}

TEST_F(ControllerTest, CommandLineRunsNeverHang) {
    // The public-key path: the chip takes over, reports the key written and falls silent.
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(5000, 1));
    sim::SimConfig keyChip;
    keyChip.chip.stage = 0x1111;
    keyChip.chip.variant = 1;
    keyChip.writeKey = true;
    Make(keyChip, true);
    host().quit = false;
    const std::string signedImage = dir.File("k.sigx");
    SignedContainerFields fields;
    fields.modulus = test::RandomBytes(256, 3);
    fields.exponent = {1, 0, 1};
    fields.signature = test::RandomBytes(256, 4);
    WriteSignedContainer(signedImage, fields, dir.File("fw.bin"));
    controls.SetText(ctl::kDownloadImageStatic, signedImage);
    window->settings.dataTimeoutMs = 5000;
    StartFromControls();
    const auto start = host().TickCount();
    EXPECT_TRUE(host().RunUntil([&] { return host().quit; }, 60000));
    EXPECT_TRUE(log.Has("step4:write public key succ \r\n\r\n"));
    EXPECT_EQ(window->runEnd.exitCode, 200);
    EXPECT_LE(host().TickCount() - start,
              500u + 5200u);  // the start pause, then at most the reply time-out
}

TEST_F(ControllerTest, TwoRunsSideBySideOnOneHost) {
    // Two windows on one event host, each with its own chip, controls, observer, log file,
    // link and timers; their frames interleave on the shared virtual clock.
    struct Station {
        Station(test::ManualHost& host, const std::string& logDir, const std::string& image,
                sim::SimConfig chip)
            : links(host, std::move(chip)), window(host, controls, observer, links) {
            window.InitDialog(logDir);
            controls.SetItems(ctl::kPortCombo, {"USB", "COM3"});
            controls.Select(ctl::kPortCombo, 1);
            controls.SetText(ctl::kDownloadImageStatic, image);
        }
        ControlsModel controls;
        test::RecordingObserver observer;
        test::SimLinkFactory links;
        LoaderWindow window;
    };
    test::WriteBytes(dir.File("b.bin"), test::RandomBytes(9000, 2));
    sim::SimConfig slow;
    slow.delayMs = 7;
    Station a(host(), dir.File("a"), dir.File("fw.bin"), {});
    Station b(host(), dir.File("b"), dir.File("b.bin"), slow);
    a.window.controller.OnDownloadButton();
    b.window.controller.OnDownloadButton();
    EXPECT_TRUE(host().RunUntil(
        [&] { return !a.window.controller.Running() && !b.window.controller.Running(); }, 60000));
    ASSERT_EQ(a.links.chips.size(), 1u);
    ASSERT_EQ(b.links.chips.size(), 1u);
    EXPECT_NE(a.links.LastChip().Verdict().find("OK image verified (5000 bytes"), std::string::npos)
        << a.links.LastChip().Verdict();
    EXPECT_NE(b.links.LastChip().Verdict().find("OK image verified (9000 bytes"), std::string::npos)
        << b.links.LastChip().Verdict();
    for (Station* s : {&a, &b}) {
        ASSERT_FALSE(s->observer.ends.empty());
        EXPECT_EQ(s->observer.ends.back().outcome, RunOutcome::Verified);
        EXPECT_EQ(s->observer.ends.back().code, 200);
        EXPECT_EQ(std::count(s->observer.entries.begin(), s->observer.entries.end(),
                             "File downloaded successfully !\r\n\r\n"),
                  1);
        EXPECT_EQ(s->observer.progress.state, BarState::Success);
        EXPECT_EQ(s->observer.phases.back(), RunPhase::Ended);
        EXPECT_EQ(s->controls.Text(ctl::kDownloadButton), "Download");
    }
    EXPECT_EQ(a.observer.progress.imageBytes, 5000u);
    EXPECT_EQ(b.observer.progress.imageBytes, 9000u);
    // Each log file holds its own run only: one start, its own image, and no line per frame
    // (those are the debug setting's).
    auto count = [](const std::string& text, const std::string& what) {
        int n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };
    const std::string logA = test::ReadText(dir.File("a/log/download.log"));
    const std::string logB = test::ReadText(dir.File("b/log/download.log"));
    EXPECT_EQ(count(logA, "初始化boot程序\n"), 1);
    EXPECT_EQ(count(logB, "初始化boot程序\n"), 1);
    EXPECT_EQ(count(logA, "b.bin"), 0);
    EXPECT_EQ(count(logB, "fw.bin"), 0);
    for (const std::string* text : {&logA, &logB}) {
        EXPECT_EQ(count(*text, "OnReceiveData"), 0) << *text;
        EXPECT_EQ(count(*text, "needHandShake"), 0) << *text;
    }
}

TEST_F(ControllerTest, ALineDroppedAfterTheLastReplyDoesNotEndTheNextRun) {
    // A chip that re-enumerates drops its line right after its last reply; in batch mode the
    // next run has already started when the old line's error arrives.
    sim::SimConfig reenumerating;
    reenumerating.closeAtEnd = true;
    Make(reenumerating);
    controls.SetChecked(ctl::kBatchCheck, true);
    window->controller.OnDownloadButton();
    EXPECT_TRUE(host().RunUntil([&] { return links->chips.size() == 3; }, 60000));
    EXPECT_EQ(Count("File downloaded successfully !\r\n\r\n"), 2);
    EXPECT_FALSE(log.Has("Serial communication error!\r\n\r\n"));
    EXPECT_TRUE(links->chips[1]->Verified()) << links->chips[1]->Verdict();
    EXPECT_TRUE(window->controller.Running());
    window->controller.OnDownloadButton();
}

TEST_F(ControllerTest, SilenceAfterTheLastDataFrameIsBoundedOnTheCommandLine) {
    // A chip that takes the whole image and never reports its check.
    sim::SimConfig hung;
    hung.silentVerify = true;
    auto lastFrameOut = [&] {
        return log.progress.imageBytes > 0 &&
               log.progress.imageBytesSent == log.progress.imageBytes;
    };
    for (const std::size_t size : {std::size_t{5000}, std::size_t{600000}}) {
        test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(size, 5));
        log = {};
        Make(hung, true);
        host().quit = false;
        window->settings.dataTimeoutMs = 3000;
        StartFromControls();
        ASSERT_TRUE(host().RunUntil(lastFrameOut, 600000));
        const auto lastFrame = host().TickCount();
        EXPECT_TRUE(host().RunUntil([&] { return host().quit; }, 600000));
        EXPECT_EQ(window->runEnd.exitCode, 200);
        EXPECT_EQ(log.ends.back().outcome, RunOutcome::Timeout);
        EXPECT_TRUE(log.Has("on timer 超时!\n接收回复超时\n\r\n\r\n"));
        // The chip's coefficient (2) times the image's time at 92160 bytes a second, at
        // least the reply time-out; the check runs every 100 ms.
        const std::uint64_t bound = std::max<std::uint64_t>(3000, 2 * size * 1000 / 92160);
        EXPECT_GT(host().TickCount() - lastFrame, bound) << size;
        EXPECT_LE(host().TickCount() - lastFrame, bound + 100) << size;
    }
    // The window waits for the chip as long as the operator does.
    log = {};
    Make(hung);
    window->controller.OnDownloadButton();
    host().RunFor(120000);
    EXPECT_TRUE(window->controller.Running());
    EXPECT_FALSE(log.Has("on timer 超时!\n接收回复超时\n\r\n\r\n"));
    window->controller.OnDownloadButton();
}

TEST_F(ControllerTest, PortListRebuiltOnDropDownKeepsAPseudoTerminal) {
    // An operator practising against the simulator: its pseudo-terminal is no listed port,
    // yet it stays chosen when the list is rebuilt.
    int master = -1, slave = -1;
    char name[256];
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    Make({});
    test::RunCommand("mkdir -p '" + dir.File("sys/class/tty") + "' '" + dir.File("dev") + "'");
    controls.SetItems(ctl::kPortCombo, {"USB"});
    ASSERT_TRUE(AddDevicePathToPortList(controls, name));
    window->RefreshPortList();
    EXPECT_EQ(controls.Items(ctl::kPortCombo), (std::vector<std::string>{"USB", name}));
    EXPECT_EQ(controls.SelectedText(ctl::kPortCombo), name);
    controls.Select(ctl::kPortCombo, 0);
    window->RefreshPortList();
    EXPECT_EQ(controls.SelectedText(ctl::kPortCombo), "USB");
    ::close(slave);
    ::close(master);

    // The public key is shown only when it can be read; otherwise the old one stays.
    test::WriteFile(dir.File("pub.pem"), "key");
    window->ChoosePublicKey(dir.File("pub.pem"));
    window->ChoosePublicKey(dir.File("missing.pem"));
    EXPECT_EQ(controls.Text(ctl::kPublicKeyStatic), dir.File("pub.pem"));
    EXPECT_EQ(log.entries.back(), "Failed to open the public key file !\r\n\r\n");
    EXPECT_NE(test::ReadText(dir.File("log/download.log"))
                  .find("Failed to open the public key file ! (" + dir.File("missing.pem") +
                        ": No such file or directory)"),
              std::string::npos);
}

TEST_F(ControllerTest, TimeOutsBeyondTenMinutesAreBroughtInAndLogged) {
    // A reply time-out from the settings that would never fire: ten minutes are used.
    sim::SimConfig mute;
    mute.silentFrom = 1;  // the chip reports itself, then answers no frame
    Make(mute, true);
    window->settings.dataTimeoutMs = 2147483647;
    StartFromControls();
    ASSERT_TRUE(host().RunUntil(
        [&] { return links->chips.size() == 1 && links->LastChip().HostFrames() >= 1; }, 60000));
    const auto firstFrame = host().TickCount();
    EXPECT_TRUE(host().RunUntil([&] { return host().quit; }, 3600000));
    EXPECT_EQ(window->runEnd.exitCode, 200);
    EXPECT_GT(host().TickCount() - firstFrame, 600000u);
    EXPECT_LE(host().TickCount() - firstFrame, 600100u);
    EXPECT_NE(test::ReadText(dir.File("log/download.log"))
                  .find("reply time-out 2147483647 ms is out of range; 600000 ms used"),
              std::string::npos);
}

TEST_F(ControllerTest, ImagePathHoldingLinesIsNotSavedAndTheLogSaysWhy) {
    Make({}, true);
    controls.SetItems(ctl::kPortCombo, {});
    // A real image whose name would add a key to the settings file.
    const std::string image = dir.File("fw\n[MainConfig Setting]\ndebug=1\n.bin");
    test::WriteBytes(image, test::RandomBytes(5000, 1));
    window->RunFromCommandLine({"ov58xx-loader", "-f", image, "-t", "2000"});
    EXPECT_TRUE(host().RunUntil([&] { return host().quit; }, 10000));
    EXPECT_EQ(window->runEnd.exitCode, 108);
    window->FlushSettings();
    const std::string ini = test::ReadText(dir.File("OVLoader.ini"));
    EXPECT_EQ(ini.find("debug"), std::string::npos);
    EXPECT_NE(ini.find("\nsignAppFilePath=\n"),
              std::string::npos);  // the old value, from the defaults
    EXPECT_NE(test::ReadText(dir.File("log/download.log"))
                  .find("Failed to write the settings file: [" + dir.File("OVLoader.ini") +
                        "]: a value holding a line break is not written, the file keeps the old "
                        "one: signAppFilePath\n"),
              std::string::npos);
}

TEST(RunEnd, LaterCodeWinsAndWindowModeShowsAllBut200) {
    int closes = 0;
    test::RecordingObserver log;
    ProgressView view(&log);
    DownloadLog runLog;
    RunEnd end(view, runLog, [&] { ++closes; });
    end.commandLineMode = true;
    end.FinishRun("下载完成", 200);
    end.FinishRun("串口通讯错误！", 300);
    EXPECT_EQ(end.exitCode, 300);
    EXPECT_EQ(closes, 1);
    // The fault is shown on the terminal too, since nothing else would say why the run ended.
    EXPECT_EQ(log.entries, std::vector<std::string>{"串口通讯错误！\r\n\r\n"});
    ASSERT_EQ(log.ends.size(), 2u);
    EXPECT_EQ(log.ends[1].code, 300);
    log.entries.clear();
    RunEnd window(view, runLog, nullptr);
    window.FinishRun("下载完成", 200);
    EXPECT_TRUE(log.entries.empty());
    window.FinishRun("串口通讯错误！", 300);
    EXPECT_EQ(log.entries, std::vector<std::string>{"串口通讯错误！\r\n\r\n"});
    EXPECT_EQ(window.exitCode, 0);
}

}  // namespace
}  // namespace ov
