#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

#include "common/event_host.h"

namespace ov {

// The event host on Qt's loop: posted events are queued to the main thread in order,
// timers are precise QTimers, and the sync source is a 3 ms precise timer.
class QtEventHost : public QObject, public EventHost {
public:
    QtEventHost();
    void SetHandler(EventHandler* handler) override { handler_ = handler; }
    void Post(const Event& event) override;
    void StartTimer(int timerId, int periodMs) override;
    void StopTimer(int timerId) override;
    void StartSyncSource(int periodMs) override;
    void StopSyncSource() override;
    std::uint64_t TickCount() const override { return static_cast<std::uint64_t>(clock_.elapsed()); }
    void Pause(int ms) override;
    void Quit() override;
    bool QuitRequested() const { return quit_; }

private:
    EventHandler* handler_ = nullptr;
    std::map<int, std::unique_ptr<QTimer>> timers_;
    QTimer sync_;
    QElapsedTimer clock_;
    bool quit_ = false;
};

}  // namespace ov
