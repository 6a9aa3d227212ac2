#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "common/event_host.h"

namespace ov {

// The event host on Qt's loop: posted events wait in the host's own queue, in order, and one
// wake-up (an eventfd watched by the loop) brings the event thread to them; timers are precise
// QTimers.
class QtEventHost : public QObject, public EventHost {
  public:
    QtEventHost();
    ~QtEventHost() override;
    std::unique_ptr<EventChannel> Connect(EventHandler& handler) override;
    std::uint64_t TickCount() const override {
        return static_cast<std::uint64_t>(clock_.elapsed());
    }
    void Quit() override;
    bool QuitRequested() const { return quit_; }

    // Called by a channel: queues the event for its handler (any thread).
    void Queue(std::uint64_t channelId, const Event& event);
    void Disconnect(std::uint64_t channelId);

  private:
    void DeliverQueued();
    void Wake();

    std::map<std::uint64_t, EventHandler*> handlers_;  // event thread only
    // Events from any thread. Nothing but the event and the eventfd's counter passes between
    // threads, both under a synchronisation a thread checker can see.
    std::mutex queueMutex_;
    std::deque<std::pair<std::uint64_t, Event>> queue_;
    int wakeFd_ = -1;
    std::unique_ptr<QSocketNotifier> wake_;
    std::uint64_t nextChannelId_ = 1;
    QElapsedTimer clock_;
    bool quit_ = false;
};

}  // namespace ov
