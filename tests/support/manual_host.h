#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "common/event_host.h"

namespace ov::test {

// The event host on a virtual clock: time moves only when a test runs it, so time-outs are
// tested to the millisecond without waiting.
class ManualHost : public EventHost {
public:
    void SetHandler(EventHandler* handler) override { handler_ = handler; }
    void Post(const Event& event) override {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(event);
    }
    // Delivers the event `delayMs` from now.
    void PostAfter(int delayMs, const Event& event) { delayed_.emplace(now_ + static_cast<std::uint64_t>(delayMs), event); }
    void StartTimer(int timerId, int periodMs) override { timers_[timerId] = {periodMs, now_ + static_cast<std::uint64_t>(periodMs)}; }
    void StopTimer(int timerId) override { timers_.erase(timerId); }
    void StartSyncSource(int periodMs) override { StartTimer(kSyncId, periodMs); }
    void StopSyncSource() override { StopTimer(kSyncId); }
    std::uint64_t TickCount() const override { return now_; }
    void Pause(int ms) override { now_ += static_cast<std::uint64_t>(ms); }
    void Quit() override { quit = true; }

    bool TimerRunning(int timerId) const { return timers_.count(timerId) > 0; }

    // Runs events and timers until `done` holds, nothing is left to happen, or `limitMs` of
    // virtual time pass. Returns whether `done` held.
    bool RunUntil(const std::function<bool()>& done, std::uint64_t limitMs) {
        const std::uint64_t end = now_ + limitMs;
        for (;;) {
            if (done()) return true;
            if (DeliverOne()) continue;
            std::uint64_t next = UINT64_MAX;
            for (const auto& [id, t] : timers_) next = std::min(next, t.due);
            if (!delayed_.empty()) next = std::min(next, delayed_.begin()->first);
            if (next == UINT64_MAX || next > end) {
                now_ = std::max(now_, std::min(end, next == UINT64_MAX ? end : next));
                return done();
            }
            now_ = std::max(now_, next);
            if (!delayed_.empty() && delayed_.begin()->first <= now_) {
                const Event e = delayed_.begin()->second;
                delayed_.erase(delayed_.begin());
                if (handler_) handler_->OnEvent(e);
                continue;
            }
            for (auto& [id, t] : timers_) {
                if (t.due > now_) continue;
                t.due = now_ + static_cast<std::uint64_t>(t.period);
                const int fired = id;
                if (!handler_) break;
                if (fired == kSyncId) handler_->OnEvent({kSyncTick, 0, 0});
                else handler_->OnTimer(fired);
                break;  // the handler may have changed the timers
            }
        }
    }
    void RunFor(std::uint64_t ms) {
        RunUntil([] { return false; }, ms);
    }

    bool quit = false;

private:
    static constexpr int kSyncId = -1;
    struct Timer {
        int period;
        std::uint64_t due;
    };
    bool DeliverOne() {
        Event e;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) return false;
            e = queue_.front();
            queue_.pop_front();
        }
        if (handler_) handler_->OnEvent(e);
        return true;
    }

    EventHandler* handler_ = nullptr;
    std::uint64_t now_ = 0;
    std::map<int, Timer> timers_;
    std::multimap<std::uint64_t, Event> delayed_;
    std::mutex mutex_;
    std::deque<Event> queue_;
};

}  // namespace ov::test
