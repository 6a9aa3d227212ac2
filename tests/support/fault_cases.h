#pragma once

// Every fault the simulated chip can show, at every step it applies to, and the noise a line
// can add: what each run must end with, and how long it may take.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bootsim/boot_loader_sim.h"
#include "protocol/frame_splitter.h"
#include "support/sim_link.h"
#include "support/test_files.h"

namespace ov::test {

inline constexpr std::uint64_t kStartPause = 500;
inline constexpr std::uint64_t kReplyTimeout = 2000;  // timeoutInData_Ms of the settings below
inline constexpr std::uint64_t kHandshake = 3000;     // -t
inline constexpr const char* kOk = "File downloaded successfully !";
inline constexpr const char* kTimedOut = "on timer 超时!\n接收回复超时\n";
inline constexpr const char* kNoHandshake = "握手超时!\n设备无响应或连接异常\n";

struct Case {
    std::string name;
    sim::SimConfig chip;
    int code;
    std::string line;     // a log-view entry the run shows, without its "\r\n\r\n"
    std::uint64_t bound;  // the longest the run may take, in ms of the virtual clock
    bool extras = false;  // a chip that takes an additional file after the image (step 6)
    LineNoise noise = {};
};

// A mebibyte of line noise without a start byte, with false headers claiming 0xFFFF bytes
// scattered through it.
inline std::vector<std::uint8_t> MebibyteOfNoise() {
    std::vector<std::uint8_t> noise = RandomBytes(1 << 20, 77);
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

inline sim::SimConfig With(const std::function<void(sim::SimConfig&)>& change) {
    sim::SimConfig config;
    change(config);
    return config;
}

inline std::vector<Case> Cases() {
    // A fault that ends the run at once still waits for nothing but the start pause and the
    // frames before it; one that silences the chip waits for its time-out.
    const std::uint64_t prompt = kStartPause + 1000;
    const std::uint64_t silence = kStartPause + kReplyTimeout + 1000;
    std::vector<Case> cases;
    // The statuses each step defines, and one it does not.
    const std::map<int, std::vector<std::pair<int, std::string>>> statuses = {
        {2,
         {{1, "step2:CRC check: failed"},
          {2, "step2:length error"},
          {3, "step2:verify error "},
          {9, "step2:unknown error"}}},
        {3,
         {{1, "step3:CRC check: failed"},
          {2, "step3:length error"},
          {3, "step3:verify error "},
          {5, "step3:Failed to write public key "},
          {9, "step3:unknown error"}}},
        {4,
         {{1, "step4:CRC check: failed"},
          {2, "step4:length error"},
          {3, "step4:download failed "},
          {5, "step4:Erase flash error "},
          {9, "step4:unknown error"}}},
        {5,
         {{1, "step5:verify failed"},
          {2, "step5:length error"},
          {3, "step5:Check error "},
          {9, "step5:unknown error"}}},
    };
    for (const auto& [step, list] : statuses) {
        for (const auto& [status, text] : list)
            cases.push_back({"step " + std::to_string(step) + " status " + std::to_string(status),
                             With([&](sim::SimConfig& c) {
                                 c.statusAt[{step, 1}] = static_cast<std::uint8_t>(status);
                             }),
                             200, text, prompt});
        if (step == 5) continue;  // the check has no resend
        // A few resends are taken; a chip that keeps asking is given up on.
        cases.push_back({"step " + std::to_string(step) + " three resends",
                         With([&](sim::SimConfig& c) {
                             c.resendAt[{step, 1}] = 3;
                         }),
                         200, kOk, prompt});
        cases.push_back(
            {"step " + std::to_string(step) + " resends without end", With([&](sim::SimConfig& c) {
                 c.resendAt[{step, 1}] = 1000;
             }),
             200, "The boot loader asked for the same frame 16 times in a row; the download stops",
             prompt});
    }
    // Step 6 carries the additional files of a chip that takes them.
    const auto extraChip = [](const std::function<void(sim::SimConfig&)>& change) {
        return With([&](sim::SimConfig& c) {
            c.chip.variant = 1;
            change(c);
        });
    };
    for (const auto& [status, text] :
         std::vector<std::pair<int, std::string>>{{1, "step6:CRC check: failed"},
                                                  {2, "step6:length error"},
                                                  {3, "step6:opcode error "},
                                                  {5, "step6:Erase or write flash error"},
                                                  {6, "step6:Start address error "},
                                                  {9, "step6:unknown error"}})
        cases.push_back({"step 6 status " + std::to_string(status),
                         extraChip([&](sim::SimConfig& c) {
                             c.statusAt[{6, 1}] = static_cast<std::uint8_t>(status);
                         }),
                         200, text, prompt, true});
    cases.push_back({"step 6 three resends", extraChip([](sim::SimConfig& c) {
                         c.resendAt[{6, 2}] = 3;
                     }),
                     200, kOk, prompt, true});
    cases.push_back(
        {"step 6 resends without end", extraChip([](sim::SimConfig& c) {
             c.resendAt[{6, 2}] = 1000;
         }),
         200, "The boot loader asked for the same frame 16 times in a row; the download stops",
         prompt, true});
    cases.push_back({"step 6 broken CRC", extraChip([](sim::SimConfig& c) {
                         c.badCrcAt[{6, 1}] = true;
                     }),
                     200, "step6 CRC error", prompt, true});
    cases.push_back({"step 6 silent", extraChip([](sim::SimConfig& c) { c.silentFrom = 7; }), 200,
                     kTimedOut, silence, true});
    cases.push_back({"step 6 line closed", extraChip([](sim::SimConfig& c) { c.closeAfter = 7; }),
                     300, "Serial communication error!", prompt, true});
    for (const int step : {2, 3, 4, 5})
        cases.push_back({"step " + std::to_string(step) + " broken CRC",
                         With([&](sim::SimConfig& c) {
                             c.badCrcAt[{step, 1}] = true;
                         }),
                         200, "step" + std::to_string(step) + " CRC error", prompt});
    // Silence from the sync pattern on, and from a frame of each step on.
    cases.push_back({"silent from the start", With([](sim::SimConfig& c) { c.silentFrom = 0; }),
                     108, kNoHandshake, kStartPause + kHandshake + 1000});
    for (const int frame : {1, 2, 3, 6})
        cases.push_back({"silent from host frame " + std::to_string(frame),
                         With([&](sim::SimConfig& c) { c.silentFrom = frame; }), 200, kTimedOut,
                         silence});
    cases.push_back({"silent in the check", With([](sim::SimConfig& c) { c.silentVerify = true; }),
                     200, kTimedOut, silence});
    // The line drops after a frame of each step.
    for (const int frame : {1, 2, 3, 6})
        cases.push_back({"line closed after host frame " + std::to_string(frame),
                         With([&](sim::SimConfig& c) { c.closeAfter = frame; }), 300,
                         "Serial communication error!", prompt});
    cases.push_back({"line dropped after the last reply",
                     With([](sim::SimConfig& c) { c.closeAtEnd = true; }), 200, kOk, prompt});
    // A slow chip within the time-out, and one beyond it.
    cases.push_back({"replies after 1900 ms", With([](sim::SimConfig& c) { c.delayMs = 1900; }),
                     200, kOk, 60000});
    // (The reply time-out is looked at every 100 ms.)
    cases.push_back({"replies after 2250 ms", With([](sim::SimConfig& c) { c.delayMs = 2250; }),
                     200, kTimedOut, kStartPause + 2250 + kReplyTimeout + 1000});
    cases.push_back({"line noise before every reply",
                     With([](sim::SimConfig& c) { c.garbageBytes = 7; }), 200, kOk, prompt});
    // Noise that looks like a header: one claiming more than any reply is passed over at once;
    // one with a plausible length takes the reply in and is given up when the line goes
    // quiet (100 ms a reply); a frame cut short is given up the same way.
    const std::uint64_t replies = 4 + 9 + 4;  // at most, with the data frames and step 6
    cases.push_back({"false header of length 0xFFFF before every reply",
                     {},
                     200,
                     kOk,
                     prompt,
                     false,
                     LineNoise{{}, {0xAA, 0x03, 0xFF, 0xFF}, 0, false}});
    cases.push_back({"false header that takes the reply in",
                     {},
                     200,
                     kOk,
                     prompt + replies * kFrameStallMs,
                     false,
                     LineNoise{{}, {0xAA, 0x05, 0xE8, 0x03}, 0, false}});
    cases.push_back({"false header that takes the reply in, with additional files",
                     extraChip([](sim::SimConfig&) {}), 200, kOk, prompt + replies * kFrameStallMs,
                     true, LineNoise{{}, {0xAA, 0x06, 0x00, 0x01}, 0, false}});
    cases.push_back({"a frame cut short before every reply",
                     {},
                     200,
                     kOk,
                     prompt + replies * (kFrameStallMs + 150),
                     false,
                     LineNoise{{}, {0xAA, 0x04, 0x10, 0x00, 0x01, 0x02}, 150, false}});
    cases.push_back({"a mebibyte of noise before the step-1 reply",
                     {},
                     200,
                     kOk,
                     prompt,
                     false,
                     LineNoise{MebibyteOfNoise(), {}, 0, false}});
    cases.push_back(
        {"replies byte by byte", {}, 200, kOk, prompt, false, LineNoise{{}, {}, 0, true}});
    cases.push_back({"replies byte by byte behind false headers",
                     {},
                     200,
                     kOk,
                     prompt + replies * kFrameStallMs,
                     false,
                     LineNoise{{}, {0x00, 0xAA, 0x02, 0x40, 0x00}, 0, true}});
    // A noisy line that also times out: the code and the bound of the silence still hold.
    cases.push_back({"false headers and then silence in the check",
                     With([](sim::SimConfig& c) { c.silentVerify = true; }), 200, kTimedOut,
                     silence + replies * kFrameStallMs, false,
                     LineNoise{{}, {0xAA, 0x05, 0xE8, 0x03}, 0, false}});
    return cases;
}

}  // namespace ov::test
