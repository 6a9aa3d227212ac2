#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace ov {

// SIGINT, SIGTERM and SIGHUP delivered to the event thread as calls, so a run ends the way Stop
// ends it (port closed, temporary files gone, settings saved) instead of dying mid-write. A
// second SIGINT ends the process at once, unless `secondInterruptToo`: then it is delivered
// like the first (the gang stops its runs on it and still prints its summary).
class SignalWatch : public QObject {
  public:
    explicit SignalWatch(std::function<void(int signal)> onSignal, bool secondInterruptToo = false);
    ~SignalWatch() override;

    // The first signal received, or 0.
    int Received() const { return received_; }

  private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    int received_ = 0;
};

// After a signal, once everything is closed and saved: the process ends by that signal, so a
// calling shell sees 128 + its number and a script's loop stops. Nothing happens for 0.
void EndProcessBySignal(int signal);

}  // namespace ov
