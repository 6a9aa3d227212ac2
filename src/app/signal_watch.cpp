#include "app/signal_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace ov {

namespace {

int gPipe[2] = {-1, -1};
volatile std::sig_atomic_t gInterrupts = 0;
volatile std::sig_atomic_t gSecondInterruptToo = 0;

void OnSignal(int signal) {
    if (signal == SIGINT && gInterrupts != 0 && gSecondInterruptToo == 0) {
        // The second Ctrl-C: the operator means it.
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
        return;
    }
    if (signal == SIGINT) gInterrupts = 1;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &number, 1);
}

}  // namespace

SignalWatch::SignalWatch(std::function<void(int)> onSignal, bool secondInterruptToo)
    : onSignal_(std::move(onSignal)) {
    gInterrupts = 0;
    gSecondInterruptToo = secondInterruptToo ? 1 : 0;
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char number = 0;
        while (::read(gPipe[0], &number, 1) == 1) {
            if (received_ == 0) received_ = number;
            if (onSignal_) onSignal_(number);
        }
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

SignalWatch::~SignalWatch() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
    notifier_.reset();
    for (int& fd : gPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void EndProcessBySignal(int signal) {
    if (signal == 0) return;
    std::fflush(stdout);
    std::fflush(stderr);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace ov
