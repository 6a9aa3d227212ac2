#pragma once

#include <cstdint>
#include <string>

#include "common/run_observer.h"

namespace ov::gang {

// The JSON Lines contract's version: fields are added, never renamed or removed.
inline constexpr int kSchema = 1;

// One thing that happened to one run, as every report of the gang shows it.
struct GangEvent {
    enum Kind { Start, Chip, Progress, End } kind = Start;
    std::string time;  // RFC 3339, UTC, milliseconds
    int run = 0;       // an id per process, one per port run (its retries keep it)
    std::string port;  // the device path
    std::string slot;  // the physical USB path; empty when the port is no USB device
    int attempt = 1;
    // start
    std::string image;
    std::uint64_t size = 0;
    std::string sha256;
    std::string version;
    // chip
    ChipReport chip;
    // progress and end
    std::uint64_t bytes = 0;
    int percent = 0;
    // end
    RunOutcome outcome = RunOutcome::None;  // named in the contract by OutcomeName
    int code = 0;                           // the loader's exit code for such a run: 200, 108, 300
    std::string message;
    std::string csn;
    double seconds = 0;
};

const char* KindName(GangEvent::Kind kind);
// "00ff": a 16-bit word as four lowercase hex digits.
std::string Hex4(std::uint16_t value);
// The outcome's name in the contract.
const char* OutcomeName(RunOutcome outcome);
// Now, as "2026-12-10T07:50:01.123Z".
std::string Rfc3339Now();

// One line of JSON, without its line end.
std::string ToJson(const GangEvent& event);
// One plain line for a pipe, without its line end.
std::string ToPlainLine(const GangEvent& event);

}  // namespace ov::gang
