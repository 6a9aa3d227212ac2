#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "common/event_host.h"

namespace ov::test {

// Collects what a real-time producer (the serial reader) posts, for tests to wait on.
class EventRecorder : public EventChannel {
  public:
    void Post(const Event& event) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
        cv_.notify_all();
    }
    void StartTimer(int, int) override {}
    void StopTimer(int) override {}
    std::uint64_t TickCount() const override { return 0; }

    std::optional<Event> Next(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!cv_.wait_for(lock, timeout, [&] { return !events_.empty(); })) return std::nullopt;
        const Event e = events_.front();
        events_.pop_front();
        return e;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Event> events_;
};

}  // namespace ov::test
