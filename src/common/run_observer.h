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

// How a run (or a refused command) ended: the exit code it carries and its message.
struct RunEndReport {
    int code = 0;
    std::string message;
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
    virtual void OnRunEnd(const RunEndReport&) {}
};

}  // namespace ov
