// Every fault the simulated chip can show, at every step it applies to, in command-line mode on
// the virtual clock: the exit code, the line the script reads, and the time the run took
// against its bound.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <map>

#include "control/loader_window.h"
#include "protocol/frame_splitter.h"
#include "support/manual_host.h"
#include "support/recording_sinks.h"
#include "support/sim_link.h"
#include "support/test_files.h"
#include "ui/controls_model.h"

namespace ov {
namespace {

constexpr std::uint64_t kStartPause = 500;
constexpr std::uint64_t kReplyTimeout = 2000;  // timeoutInData_Ms of the settings below
constexpr std::uint64_t kHandshake = 3000;     // -t
constexpr const char* kOk = "File downloaded successfully !";
constexpr const char* kTimedOut = "on timer 超时!\n接收回复超时\n";
constexpr const char* kNoHandshake = "握手超时!\n设备无响应或连接异常\n";

struct Case {
    std::string name;
    sim::SimConfig chip;
    int code;
    std::string line;     // a log-view entry the run shows, without its "\r\n\r\n"
    std::uint64_t bound;  // the longest the run may take, in ms of the virtual clock
    bool extras = false;  // a chip that takes an additional file after the image (step 6)
    test::LineNoise noise = {};
};

// A mebibyte of line noise without a start byte, with false headers claiming 0xFFFF bytes
// scattered through it.
std::vector<std::uint8_t> MebibyteOfNoise() {
    std::vector<std::uint8_t> noise = test::RandomBytes(1 << 20, 77);
    for (auto& b : noise)
        if (b == 0xAA) b = 0xAB;
    for (std::size_t at = 1000; at + 4 < noise.size(); at += 50000) {
        noise[at] = 0xAA;
        noise[at + 1] = 0x01;
        noise[at + 2] = 0xFF;
        noise[at + 3] = 0xFF;
    }
    return noise;
}

sim::SimConfig With(const std::function<void(sim::SimConfig&)>& change) {
    sim::SimConfig config;
    change(config);
    return config;
}

std::vector<Case> Cases() {
    // A fault that ends the run at once still waits for nothing but the start pause and the
    // frames before it; one that silences the chip waits for its time-out.
    const std::uint64_t prompt = kStartPause + 1000;
    const std::uint64_t silence = kStartPause + kReplyTimeout + 1000;
    std::vector<Case> cases;
    // The statuses each step defines, and one it does not.
    const std::map<int, std::vector<std::pair<int, std::string>>> statuses = {
        {2, {{1, "step2:CRC check: failed"}, {2, "step2:length error"}, {3, "step2:verify error "}, {9, "step2:unknown error"}}},
        {3, {{1, "step3:CRC check: failed"}, {2, "step3:length error"}, {3, "step3:verify error "},
             {5, "step3:Failed to write public key "}, {9, "step3:unknown error"}}},
        {4, {{1, "step4:CRC check: failed"}, {2, "step4:length error"}, {3, "step4:download failed "},
             {5, "step4:Erase flash error "}, {9, "step4:unknown error"}}},
        {5, {{1, "step5:verify failed"}, {2, "step5:length error"}, {3, "step5:Check error "}, {9, "step5:unknown error"}}},
    };
    for (const auto& [step, list] : statuses) {
        for (const auto& [status, text] : list)
            cases.push_back({"step " + std::to_string(step) + " status " + std::to_string(status),
                             With([&](sim::SimConfig& c) { c.statusAt[{step, 1}] = static_cast<std::uint8_t>(status); }), 200,
                             text, prompt});
        if (step == 5) continue;  // the check has no resend
        // A few resends are taken; a chip that keeps asking is given up on.
        cases.push_back({"step " + std::to_string(step) + " three resends",
                         With([&](sim::SimConfig& c) { c.resendAt[{step, 1}] = 3; }), 200, kOk, prompt});
        cases.push_back({"step " + std::to_string(step) + " resends without end",
                         With([&](sim::SimConfig& c) { c.resendAt[{step, 1}] = 1000; }), 200,
                         "The boot loader asked for the same frame 16 times in a row; the download stops", prompt});
    }
    // Step 6 carries the additional files of a chip that takes them.
    const auto extraChip = [](const std::function<void(sim::SimConfig&)>& change) {
        return With([&](sim::SimConfig& c) {
            c.chip.variant = 1;
            change(c);
        });
    };
    for (const auto& [status, text] : std::vector<std::pair<int, std::string>>{{1, "step6:CRC check: failed"},
                                                                             {2, "step6:length error"},
                                                                             {3, "step6:opcode error "},
                                                                             {5, "step6:Erase or write flash error"},
                                                                             {6, "step6:Start address error "},
                                                                             {9, "step6:unknown error"}})
        cases.push_back({"step 6 status " + std::to_string(status),
                         extraChip([&](sim::SimConfig& c) { c.statusAt[{6, 1}] = static_cast<std::uint8_t>(status); }), 200, text,
                         prompt, true});
    cases.push_back({"step 6 three resends", extraChip([](sim::SimConfig& c) { c.resendAt[{6, 2}] = 3; }), 200, kOk, prompt, true});
    cases.push_back({"step 6 resends without end", extraChip([](sim::SimConfig& c) { c.resendAt[{6, 2}] = 1000; }), 200,
                     "The boot loader asked for the same frame 16 times in a row; the download stops", prompt, true});
    cases.push_back({"step 6 broken CRC", extraChip([](sim::SimConfig& c) { c.badCrcAt[{6, 1}] = true; }), 200, "step6 CRC error",
                     prompt, true});
    cases.push_back({"step 6 silent", extraChip([](sim::SimConfig& c) { c.silentFrom = 7; }), 200, kTimedOut, silence, true});
    cases.push_back({"step 6 line closed", extraChip([](sim::SimConfig& c) { c.closeAfter = 7; }), 300, "Serial communication error!",
                     prompt, true});
    for (const int step : {2, 3, 4, 5})
        cases.push_back({"step " + std::to_string(step) + " broken CRC",
                         With([&](sim::SimConfig& c) { c.badCrcAt[{step, 1}] = true; }), 200,
                         "step" + std::to_string(step) + " CRC error", prompt});
    // Silence from the sync pattern on, and from a frame of each step on.
    cases.push_back({"silent from the start", With([](sim::SimConfig& c) { c.silentFrom = 0; }), 108, kNoHandshake,
                     kStartPause + kHandshake + 1000});
    for (const int frame : {1, 2, 3, 6})
        cases.push_back({"silent from host frame " + std::to_string(frame), With([&](sim::SimConfig& c) { c.silentFrom = frame; }),
                         200, kTimedOut, silence});
    cases.push_back({"silent in the check", With([](sim::SimConfig& c) { c.silentVerify = true; }), 200, kTimedOut, silence});
    // The line drops after a frame of each step.
    for (const int frame : {1, 2, 3, 6})
        cases.push_back({"line closed after host frame " + std::to_string(frame),
                         With([&](sim::SimConfig& c) { c.closeAfter = frame; }), 300, "Serial communication error!", prompt});
    cases.push_back({"line dropped after the last reply", With([](sim::SimConfig& c) { c.closeAtEnd = true; }), 200, kOk, prompt});
    // A slow chip within the time-out, and one beyond it.
    cases.push_back({"replies after 1900 ms", With([](sim::SimConfig& c) { c.delayMs = 1900; }), 200, kOk, 60000});
    // (The reply time-out is looked at every 100 ms.)
    cases.push_back({"replies after 2250 ms", With([](sim::SimConfig& c) { c.delayMs = 2250; }), 200, kTimedOut,
                     kStartPause + 2250 + kReplyTimeout + 1000});
    cases.push_back({"line noise before every reply", With([](sim::SimConfig& c) { c.garbageBytes = 7; }), 200, kOk, prompt});
    // Noise that looks like a header: one claiming more than any reply is passed over at once;
    // one with a plausible length takes the reply in and is given up when the line goes
    // quiet (100 ms a reply); a frame cut short is given up the same way.
    const std::uint64_t replies = 4 + 9 + 4;  // at most, with the data frames and step 6
    cases.push_back({"false header of length 0xFFFF before every reply", {}, 200, kOk, prompt, false,
                     test::LineNoise{{}, {0xAA, 0x03, 0xFF, 0xFF}, 0, false}});
    cases.push_back({"false header that takes the reply in", {}, 200, kOk, prompt + replies * kFrameStallMs, false,
                     test::LineNoise{{}, {0xAA, 0x05, 0xE8, 0x03}, 0, false}});
    cases.push_back({"false header that takes the reply in, with additional files", extraChip([](sim::SimConfig&) {}), 200,
                     kOk, prompt + replies * kFrameStallMs, true, test::LineNoise{{}, {0xAA, 0x06, 0x00, 0x01}, 0, false}});
    cases.push_back({"a frame cut short before every reply", {}, 200, kOk, prompt + replies * (kFrameStallMs + 150), false,
                     test::LineNoise{{}, {0xAA, 0x04, 0x10, 0x00, 0x01, 0x02}, 150, false}});
    cases.push_back({"a mebibyte of noise before the step-1 reply", {}, 200, kOk, prompt, false,
                     test::LineNoise{MebibyteOfNoise(), {}, 0, false}});
    cases.push_back({"replies byte by byte", {}, 200, kOk, prompt, false, test::LineNoise{{}, {}, 0, true}});
    cases.push_back({"replies byte by byte behind false headers", {}, 200, kOk, prompt + replies * kFrameStallMs, false,
                     test::LineNoise{{}, {0x00, 0xAA, 0x02, 0x40, 0x00}, 0, true}});
    // A noisy line that also times out: the code and the bound of the silence still hold.
    cases.push_back({"false headers and then silence in the check", With([](sim::SimConfig& c) { c.silentVerify = true; }),
                     200, kTimedOut, silence + replies * kFrameStallMs, false,
                     test::LineNoise{{}, {0xAA, 0x05, 0xE8, 0x03}, 0, false}});
    return cases;
}

TEST(FaultMatrix, EveryFaultAtEveryStepEndsWithItsCodeItsLineAndInTime) {
    test::TempDir dir;
    setenv("LC_ALL", "C", 1);
    setenv("OV58XX_LOADER_HOME", dir.Path().c_str(), 1);
    // The additional file's path is read in lower case: it lives where no capital is.
    const std::string extra = "/tmp/ov58xx-fault-matrix-" + std::to_string(::getpid()) + ".bin";
    test::WriteBytes(extra, test::RandomBytes(5000, 42));  // two frames
    const std::string settings = "[MainConfig Setting]\ntimeoutInData_Ms=" + std::to_string(kReplyTimeout) + "\n";
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(9000, 41));  // three data frames
    // One USB serial adapter of another maker on this fake machine.
    test::RunCommand("mkdir -p '" + dir.File("sys/devices/usb1/1-2/1-2:1.0/ttyUSB0") + "' '" + dir.File("sys/class/tty/ttyUSB0") +
                     "' '" + dir.File("dev") + "' && ln -s '" + dir.File("sys/devices/usb1/1-2/1-2:1.0/ttyUSB0") + "' '" +
                     dir.File("sys/class/tty/ttyUSB0/device") + "'");
    test::WriteFile(dir.File("dev/ttyUSB0"), "");
    PortBackend ports{dir.File("sys"), dir.File("dev")};

    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        test::WriteFile(dir.File("OVLoader.ini"), settings + (c.extras ? "ExtraDownloadFile1Info=" + extra + "|0|0|1010000|0\n" : ""));
        test::ManualHost host;
        test::SimLinkFactory links(host, c.chip, c.noise);
        ControlsModel controls;
        test::RecordingObserver view;
        LoaderWindow window(host, controls, view, links, ports);
        window.InitDialog();
        window.runEnd.commandLineMode = true;
        window.RunFromCommandLine({"ov58xx-loader", "-f", dir.File("fw.bin"), "-p", dir.File("dev/ttyUSB0"), "-t",
                                   std::to_string(kHandshake)});
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
