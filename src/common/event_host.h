#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace ov {

// The window messages of the download: numbered from the platform's first user message.
enum EventId : int {
    kDataReceived = 1225,  // bytes: what the line received; wParam: their count
    kPortError = 1226,
};

struct Event {
    Event(int eventId = 0, std::int64_t w = 0, std::int64_t l = 0, std::uint64_t from = 0,
          std::shared_ptr<const std::vector<std::uint8_t>> received = {})
        : id(eventId), wParam(w), lParam(l), source(from), bytes(std::move(received)) {}

    int id;
    std::int64_t wParam;
    std::int64_t lParam;
    // The open of the line that posted it: a run drops what an earlier line of its own left
    // in the queue (a chip that drops its line as it re-enumerates after the last reply).
    std::uint64_t source;
    // What was received, for kDataReceived: the reader hands over what it read, and no
    // buffer is shared between the threads.
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
};

// Receives what the host delivers, always on the event thread.
class EventHandler {
  public:
    virtual ~EventHandler() = default;
    virtual void OnEvent(const Event& event) = 0;
    virtual void OnTimer(int timerId) = 0;
};

// One handler's share of the event host: its own queue of posted events and its own timers by
// id, so several runs live side by side on one loop. Destroying the channel stops its timers
// and drops what is still queued for it.
class EventChannel {
  public:
    virtual ~EventChannel() = default;
    // Thread-safe and ordered; an event posted after the channel is gone is dropped.
    virtual void Post(const Event& event) = 0;
    virtual void StartTimer(int timerId, int periodMs) = 0;
    virtual void StopTimer(int timerId) = 0;
    virtual std::uint64_t TickCount() const = 0;  // milliseconds
};

// The event thread's loop: posted events in order, timers and a millisecond clock. Nothing on
// it blocks: every wait is a timer.
class EventHost {
  public:
    virtual ~EventHost() = default;
    virtual std::unique_ptr<EventChannel> Connect(EventHandler& handler) = 0;
    virtual std::uint64_t TickCount() const = 0;  // milliseconds
    // Ends the loop; the process ends with the run's exit code.
    virtual void Quit() = 0;
};

}  // namespace ov
