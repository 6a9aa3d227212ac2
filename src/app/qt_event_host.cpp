#include "app/qt_event_host.h"

#include <QCoreApplication>
#include <chrono>
#include <thread>

namespace ov {

QtEventHost::QtEventHost() {
    clock_.start();
    sync_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&sync_, &QTimer::timeout, this, [this] {
        if (handler_) handler_->OnEvent({kSyncTick, 0, 0});
    });
}

void QtEventHost::Post(const Event& event) {
    // Queued calls to one receiver arrive in the order they were made, from any thread.
    QMetaObject::invokeMethod(
        this, [this, event] {
            if (handler_) handler_->OnEvent(event);
        },
        Qt::QueuedConnection);
}

void QtEventHost::StartTimer(int timerId, int periodMs) {
    auto& timer = timers_[timerId];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, this, [this, timerId] {
            if (handler_) handler_->OnTimer(timerId);
        });
    }
    timer->start(periodMs);
}

void QtEventHost::StopTimer(int timerId) {
    const auto it = timers_.find(timerId);
    if (it != timers_.end()) it->second->stop();
}

void QtEventHost::StartSyncSource(int periodMs) { sync_.start(periodMs); }

void QtEventHost::StopSyncSource() { sync_.stop(); }

void QtEventHost::Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void QtEventHost::Quit() {
    quit_ = true;
    sync_.stop();
    for (auto& [id, timer] : timers_) timer->stop();
    QCoreApplication::exit(0);
}

}  // namespace ov
