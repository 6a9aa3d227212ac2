#pragma once

#include <cstdint>
#include <string>

namespace ov {

// What the bar says about the run: the dialog paints it blue, green or red.
enum class BarState { Running, Success, Failure };

// Where a run stands.
enum class RunPhase {
    Starting,          // the image is prepared, the port opens after the start pause
    WaitingForDevice,  // the chip's USB serial device is searched for
    Handshake,         // the sync pattern goes out until the chip answers
    Exchange,          // frames and replies
    Ended,
};

struct RunProgress {
    int range = 0;  // steps of the current file
    int position = 0;
    int percent = 0;
    BarState state = BarState::Running;
    std::uint64_t imageBytesSent = 0;  // of the main image
    std::uint64_t imageBytes = 0;
};

// Why a run ended, for those who count outcomes (a production line's ledger).
enum class RunOutcome {
    None,       // a refused command line, or nothing known yet
    Verified,   // the chip verified the image (and its additional files)
    Failed,     // the boot loader reported a failure
    Timeout,    // no handshake or no reply in time
    PortError,  // the line could not be opened, or vanished
    Refused,    // the chip repeated the last serial number
    Error,      // the image, the settings or a file could not be used
    Stopped,    // the operator stopped it
};

// How a run (or a refused command) ended: the exit code it carries, its message and why.
struct RunEndReport {
    int code = 0;
    std::string message;
    RunOutcome outcome = RunOutcome::None;
    std::string reason;  // what the log view said about it ("step2:verify error ", ...)
};

// What the chip told of itself in its step-1 reply.
struct ChipReport {
    std::string csn;  // 12 lowercase hex digits
    std::string esn;  // 32 lowercase hex digits
    std::uint16_t stage = 0;
    std::int16_t variant = 0;
    std::int16_t equipmentInfo = 0;
    std::int16_t appVersion = 0;
};

// Receives what one run shows the operator: the dialog, the terminal, or a gang's port.
// Called on the event thread only.
class RunObserver {
  public:
    virtual ~RunObserver() = default;
    // An entry as the log view shows it, line ends "\r\n".
    virtual void OnLogEntry(const std::string& entry) = 0;
    virtual void OnProgress(const RunProgress&) {}
    virtual void OnPhase(RunPhase) {}
    virtual void OnChip(const ChipReport&) {}
    virtual void OnRunEnd(const RunEndReport&) {}
};

}  // namespace ov
