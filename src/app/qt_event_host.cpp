#include "app/qt_event_host.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace ov {

namespace {

class QtChannel : public EventChannel {
  public:
    QtChannel(QtEventHost& host, std::uint64_t id, EventHandler& handler)
        : host_(host), id_(id), handler_(handler) {}
    ~QtChannel() override { host_.Disconnect(id_); }

    void Post(const Event& event) override { host_.Queue(id_, event); }
    void StartTimer(int timerId, int periodMs) override { Timer(timerId).start(periodMs); }
    void StopTimer(int timerId) override {
        const auto it = timers_.find(timerId);
        if (it != timers_.end()) it->second->stop();
    }
    std::uint64_t TickCount() const override { return host_.TickCount(); }

  private:
    QTimer& Timer(int timerId) {
        auto& timer = timers_[timerId];
        if (!timer) {
            timer = std::make_unique<QTimer>();
            timer->setTimerType(Qt::PreciseTimer);
            QObject::connect(timer.get(), &QTimer::timeout, &host_,
                             [this, timerId] { handler_.OnTimer(timerId); });
        }
        return *timer;
    }

    QtEventHost& host_;
    std::uint64_t id_;
    EventHandler& handler_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
};

}  // namespace

QtEventHost::QtEventHost() {
    clock_.start();
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
    wake_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
    QObject::connect(wake_.get(), &QSocketNotifier::activated, this, [this] { DeliverQueued(); });
}

QtEventHost::~QtEventHost() {
    wake_.reset();
    ::close(wakeFd_);
}

std::unique_ptr<EventChannel> QtEventHost::Connect(EventHandler& handler) {
    const std::uint64_t id = nextChannelId_++;
    handlers_[id] = &handler;
    return std::make_unique<QtChannel>(*this, id, handler);
}

void QtEventHost::Disconnect(std::uint64_t channelId) { handlers_.erase(channelId); }

void QtEventHost::Queue(std::uint64_t channelId, const Event& event) {
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        wasEmpty = queue_.empty();
        queue_.emplace_back(channelId, event);
    }
    // One wake-up while the queue holds anything: the event thread takes what it finds.
    if (wasEmpty) Wake();
}

void QtEventHost::Wake() {
    const std::uint64_t one = 1;
    while (::write(wakeFd_, &one, sizeof(one)) < 0 && errno == EINTR) {
    }
}

void QtEventHost::DeliverQueued() {
    std::uint64_t count = 0;
    while (::read(wakeFd_, &count, sizeof(count)) < 0 && errno == EINTR) {
    }
    // One at a time, in the order they were posted, so that a handler that runs a nested loop
    // (a modal box) sees the rest in order too; those posted meanwhile wait for their own
    // wake-up, asked for here. A channel that has gone in the meantime is no longer in the map.
    std::size_t pending = 0;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        pending = queue_.size();
    }
    for (; pending > 0; --pending) {
        std::pair<std::uint64_t, Event> next;
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            if (queue_.empty()) return;
            next = queue_.front();
            queue_.pop_front();
        }
        const auto it = handlers_.find(next.first);
        if (it != handlers_.end()) it->second->OnEvent(next.second);
    }
    std::lock_guard<std::mutex> lock(queueMutex_);
    if (!queue_.empty()) Wake();
}

void QtEventHost::Quit() {
    quit_ = true;
    QCoreApplication::exit(0);
}

}  // namespace ov
