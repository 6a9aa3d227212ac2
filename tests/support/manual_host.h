#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "common/event_host.h"

namespace ov::test {

// The event host on a virtual clock: time moves only when a test runs it, so time-outs are
// tested to the millisecond without waiting. Several channels share its queue and clock.
class ManualHost : public EventHost {
  public:
    std::unique_ptr<EventChannel> Connect(EventHandler& handler) override {
        const int id = nextId_++;
        handlers_[id] = &handler;
        return std::make_unique<Channel>(*this, id);
    }
    std::uint64_t TickCount() const override { return now_; }
    void Quit() override { quit = true; }

    // Delivers the event to the channel's handler `delayMs` from now.
    void PostAfter(EventChannel* channel, int delayMs, const Event& event) {
        delayed_.emplace(now_ + static_cast<std::uint64_t>(delayMs), Queued{IdOf(channel), event});
    }
    // Runs `action` on the event thread `delayMs` from now: what a reader thread does when
    // bytes arrive, on the virtual clock.
    void CallAfter(int delayMs, std::function<void()> action) {
        calls_.emplace(now_ + static_cast<std::uint64_t>(delayMs), std::move(action));
    }
    // Whether any channel runs this timer.
    bool TimerRunning(int timerId) const {
        return std::any_of(timers_.begin(), timers_.end(),
                           [&](const auto& t) { return t.first.second == timerId; });
    }

    // Runs events and timers until `done` holds, nothing is left to happen, or `limitMs` of
    // virtual time pass. Returns whether `done` held.
    bool RunUntil(const std::function<bool()>& done, std::uint64_t limitMs) {
        const std::uint64_t end = now_ + limitMs;
        for (;;) {
            if (done()) return true;
            if (DeliverOne()) continue;
            std::uint64_t next = UINT64_MAX;
            for (const auto& [key, t] : timers_) next = std::min(next, t.due);
            if (!delayed_.empty()) next = std::min(next, delayed_.begin()->first);
            if (!calls_.empty()) next = std::min(next, calls_.begin()->first);
            if (next == UINT64_MAX || next > end) {
                now_ = std::max(now_, std::min(end, next == UINT64_MAX ? end : next));
                return done();
            }
            now_ = std::max(now_, next);
            if (!calls_.empty() && calls_.begin()->first <= now_) {
                const std::function<void()> action = std::move(calls_.begin()->second);
                calls_.erase(calls_.begin());
                action();
                continue;
            }
            if (!delayed_.empty() && delayed_.begin()->first <= now_) {
                const Queued q = delayed_.begin()->second;
                delayed_.erase(delayed_.begin());
                Deliver(q);
                continue;
            }
            for (auto& [key, t] : timers_) {
                if (t.due > now_) continue;
                t.due = now_ + static_cast<std::uint64_t>(t.period);
                const auto [channel, timerId] = key;
                const auto handler = handlers_.find(channel);
                if (handler == handlers_.end()) break;
                handler->second->OnTimer(timerId);
                break;  // the handler may have changed the timers
            }
        }
    }
    void RunFor(std::uint64_t ms) {
        RunUntil([] { return false; }, ms);
    }

    bool quit = false;

  private:
    struct Timer {
        int period;
        std::uint64_t due;
    };
    struct Queued {
        int channel;
        Event event;
    };
    class Channel : public EventChannel {
      public:
        Channel(ManualHost& host, int id) : host_(host), id_(id) {}
        ~Channel() override { host_.Disconnect(id_); }
        void Post(const Event& event) override {
            std::lock_guard<std::mutex> lock(host_.mutex_);
            host_.queue_.push_back({id_, event});
        }
        void StartTimer(int timerId, int periodMs) override {
            host_.timers_[{id_, timerId}] = {periodMs,
                                             host_.now_ + static_cast<std::uint64_t>(periodMs)};
        }
        void StopTimer(int timerId) override { host_.timers_.erase({id_, timerId}); }
        std::uint64_t TickCount() const override { return host_.now_; }
        int Id() const { return id_; }

      private:
        ManualHost& host_;
        int id_;
    };

    static int IdOf(EventChannel* channel) {
        auto* own = dynamic_cast<Channel*>(channel);
        return own != nullptr ? own->Id() : -1;
    }
    void Disconnect(int id) {
        handlers_.erase(id);
        for (auto it = timers_.begin(); it != timers_.end();)
            it = it->first.first == id ? timers_.erase(it) : std::next(it);
    }
    void Deliver(const Queued& q) {
        const auto handler = handlers_.find(q.channel);
        if (handler != handlers_.end()) handler->second->OnEvent(q.event);
    }
    bool DeliverOne() {
        Queued q;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) return false;
            q = queue_.front();
            queue_.pop_front();
        }
        Deliver(q);
        return true;
    }

    int nextId_ = 1;
    std::map<int, EventHandler*> handlers_;
    std::uint64_t now_ = 0;
    std::map<std::pair<int, int>, Timer> timers_;
    std::multimap<std::uint64_t, Queued> delayed_;
    std::multimap<std::uint64_t, std::function<void()>> calls_;
    std::mutex mutex_;
    std::deque<Queued> queue_;
};

}  // namespace ov::test
