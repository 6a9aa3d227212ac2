// Every fault the simulated chip can show, at every step it applies to, in command-line mode on
// the virtual clock: the exit code, the line the script reads, and the time the run took
// against its bound.
#include <gtest/gtest.h>
#include <unistd.h>

#include "control/loader_window.h"
#include "support/fault_cases.h"
#include "support/manual_host.h"
#include "support/recording_sinks.h"
#include "support/sim_link.h"
#include "support/test_files.h"
#include "ui/controls_model.h"

namespace ov {
namespace {

using test::Case;
using test::Cases;
using test::kHandshake;
using test::kOk;
using test::kReplyTimeout;

TEST(FaultMatrix, EveryFaultAtEveryStepEndsWithItsCodeItsLineAndInTime) {
    test::TempDir dir;
    setenv("LC_ALL", "C", 1);
    setenv("OV58XX_LOADER_HOME", dir.Path().c_str(), 1);
    // The additional file's path is read in lower case: it lives where no capital is.
    const std::string extra = "/tmp/ov58xx-fault-matrix-" + std::to_string(::getpid()) + ".bin";
    test::WriteBytes(extra, test::RandomBytes(5000, 42));  // two frames
    const std::string settings =
        "[MainConfig Setting]\ntimeoutInData_Ms=" + std::to_string(kReplyTimeout) + "\n";
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(9000, 41));  // three data frames
    // One USB serial adapter of another maker on this fake machine.
    test::RunCommand("mkdir -p '" + dir.File("sys/devices/usb1/1-2/1-2:1.0/ttyUSB0") + "' '" +
                     dir.File("sys/class/tty/ttyUSB0") + "' '" + dir.File("dev") + "' && ln -s '" +
                     dir.File("sys/devices/usb1/1-2/1-2:1.0/ttyUSB0") + "' '" +
                     dir.File("sys/class/tty/ttyUSB0/device") + "'");
    test::WriteFile(dir.File("dev/ttyUSB0"), "");
    PortBackend ports{dir.File("sys"), dir.File("dev")};

    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        test::WriteFile(
            dir.File("OVLoader.ini"),
            settings + (c.extras ? "ExtraDownloadFile1Info=" + extra + "|0|0|1010000|0\n" : ""));
        test::ManualHost host;
        test::SimLinkFactory links(host, c.chip, c.noise);
        ControlsModel controls;
        test::RecordingObserver view;
        LoaderWindow window(host, controls, view, links, ports);
        window.InitDialog();
        window.runEnd.commandLineMode = true;
        window.RunFromCommandLine({"ov58xx-loader", "-f", dir.File("fw.bin"), "-p",
                                   dir.File("dev/ttyUSB0"), "-t", std::to_string(kHandshake)});
        const std::uint64_t start = host.TickCount();
        ASSERT_TRUE(host.RunUntil([&] { return host.quit; }, 120000)) << "the run never ended";
        EXPECT_EQ(window.runEnd.exitCode, c.code);
        EXPECT_TRUE(view.Has(c.line + "\r\n\r\n")) << view.All();
        EXPECT_LE(host.TickCount() - start, c.bound);
        // Each run ends once: a script, a gang's ledger and the dialog hear one outcome.
        ASSERT_EQ(view.ends.size(), 1u);
        EXPECT_EQ(view.ends[0].code, c.code);
        // What the chip itself says: written and checked exactly when the run says so.
        // (A broken CRC on the check's reply: the chip has checked the image, the run cannot know.)
        const bool verified = c.line == kOk || c.name == "step 5 broken CRC";
        ASSERT_FALSE(links.chips.empty());
        EXPECT_EQ(links.LastChip().Verified(), verified) << links.LastChip().Verdict();
    }
    ::unlink(extra.c_str());
    unsetenv("OV58XX_LOADER_HOME");
    unsetenv("LC_ALL");
}

}  // namespace
}  // namespace ov
