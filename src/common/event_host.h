#pragma once

#include <cstdint>

namespace ov {

// The window messages of the download: numbered from the platform's first user message.
enum EventId : int {
    kSyncTick = 1025,      // the periodic sync source
    kDataReceived = 1225,  // wParam: byte count ready in the ring; lParam: 0 a frame, 1 other bytes
    kPortError = 1226,
};

struct Event {
    int id = 0;
    std::int64_t wParam = 0;
    std::int64_t lParam = 0;
};

// Receives what the host delivers, always on the main thread.
class EventHandler {
public:
    virtual ~EventHandler() = default;
    virtual void OnEvent(const Event& event) = 0;
    virtual void OnTimer(int timerId) = 0;
};

// The main thread's loop: posted events in order, timers by id, the periodic sync source and
// a millisecond clock. Post may be called from any thread; everything else from the main one.
class EventHost {
public:
    virtual ~EventHost() = default;
    virtual void SetHandler(EventHandler* handler) = 0;
    virtual void Post(const Event& event) = 0;
    virtual void StartTimer(int timerId, int periodMs) = 0;
    virtual void StopTimer(int timerId) = 0;
    // Posts kSyncTick every periodMs until stopped.
    virtual void StartSyncSource(int periodMs) = 0;
    virtual void StopSyncSource() = 0;
    virtual std::uint64_t TickCount() const = 0;  // milliseconds
    // Holds the main thread for a while (the pause before a port is opened).
    virtual void Pause(int ms) = 0;
    // Ends the loop; the process ends with the run's exit code.
    virtual void Quit() = 0;
};

}  // namespace ov
