#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <cstdint>
#include <map>
#include <memory>

#include "common/event_host.h"

namespace ov {

// The event host on Qt's loop: posted events are queued to the event thread in order,
// timers are precise QTimers, and each channel's sync source is a precise timer of its own.
class QtEventHost : public QObject, public EventHost {
public:
    QtEventHost();
    ~QtEventHost() override;
    std::unique_ptr<EventChannel> Connect(EventHandler& handler) override;
    std::uint64_t TickCount() const override { return static_cast<std::uint64_t>(clock_.elapsed()); }
    void Quit() override;
    bool QuitRequested() const { return quit_; }

    // Called by a channel: queues the event for its handler (any thread).
    void Queue(std::uint64_t channelId, const Event& event);
    void Disconnect(std::uint64_t channelId);

private:
    std::map<std::uint64_t, EventHandler*> handlers_;  // event thread only
    std::uint64_t nextChannelId_ = 1;
    QElapsedTimer clock_;
    bool quit_ = false;
};

}  // namespace ov
