#include "app/qt_event_host.h"

#include <QCoreApplication>
#include <QTimer>

namespace ov {

namespace {

constexpr int kSyncTimerId = -1;

class QtChannel : public EventChannel {
public:
    QtChannel(QtEventHost& host, std::uint64_t id, EventHandler& handler) : host_(host), id_(id), handler_(handler) {}
    ~QtChannel() override { host_.Disconnect(id_); }

    void Post(const Event& event) override { host_.Queue(id_, event); }
    void StartTimer(int timerId, int periodMs) override { Timer(timerId).start(periodMs); }
    void StopTimer(int timerId) override {
        const auto it = timers_.find(timerId);
        if (it != timers_.end()) it->second->stop();
    }
    void StartSyncSource(int periodMs) override { StartTimer(kSyncTimerId, periodMs); }
    void StopSyncSource() override { StopTimer(kSyncTimerId); }
    std::uint64_t TickCount() const override { return host_.TickCount(); }

private:
    QTimer& Timer(int timerId) {
        auto& timer = timers_[timerId];
        if (!timer) {
            timer = std::make_unique<QTimer>();
            timer->setTimerType(Qt::PreciseTimer);
            QObject::connect(timer.get(), &QTimer::timeout, &host_, [this, timerId] {
                if (timerId == kSyncTimerId) handler_.OnEvent({kSyncTick, 0, 0, 0});
                else handler_.OnTimer(timerId);
            });
        }
        return *timer;
    }

    QtEventHost& host_;
    std::uint64_t id_;
    EventHandler& handler_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
};

}  // namespace

QtEventHost::QtEventHost() { clock_.start(); }

QtEventHost::~QtEventHost() = default;

std::unique_ptr<EventChannel> QtEventHost::Connect(EventHandler& handler) {
    const std::uint64_t id = nextChannelId_++;
    handlers_[id] = &handler;
    return std::make_unique<QtChannel>(*this, id, handler);
}

void QtEventHost::Disconnect(std::uint64_t channelId) { handlers_.erase(channelId); }

void QtEventHost::Queue(std::uint64_t channelId, const Event& event) {
    // Queued calls to one receiver arrive in the order they were made, from any thread; a
    // channel that has gone in the meantime is no longer in the map.
    QMetaObject::invokeMethod(
        this,
        [this, channelId, event] {
            const auto it = handlers_.find(channelId);
            if (it != handlers_.end()) it->second->OnEvent(event);
        },
        Qt::QueuedConnection);
}

void QtEventHost::Quit() {
    quit_ = true;
    QCoreApplication::exit(0);
}

}  // namespace ov
