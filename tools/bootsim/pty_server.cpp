#include "bootsim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace ov::sim {

namespace {

using Clock = std::chrono::steady_clock;

// A line of `baud`, ten bits a byte, shared by both directions: bytes are on the wire from
// when they are seen (or the line is free) for as long as they take. Waiting for the model's
// clock, rather than sleeping after each read, keeps a frame that arrives in pieces from
// being paced twice over.
class PacedLine {
  public:
    explicit PacedLine(long baud) : baud_(baud) {}
    void Carry(std::size_t bytes) {
        if (baud_ <= 0) return;
        const auto now = Clock::now();
        if (busyUntil_ < now) busyUntil_ = now;
        busyUntil_ += std::chrono::microseconds(static_cast<long long>(bytes) * 10'000'000 / baud_);
    }
    // Sleeps most of the way and spins the rest: a sleep alone overshoots by tens of microseconds.
    void WaitUntilFree() const {
        if (baud_ <= 0) return;
        if (busyUntil_ - Clock::now() > std::chrono::microseconds(200))
            std::this_thread::sleep_until(busyUntil_ - std::chrono::microseconds(100));
        while (Clock::now() < busyUntil_) {
        }
    }

  private:
    long baud_;
    Clock::time_point busyUntil_{};
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int ServeOnPty(const ServerOptions& options, std::FILE* out) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::fprintf(out, "verdict: FAILED no pseudo-terminal\n");
        return 1;
    }
    const std::string slave = ::ptsname(master);
    // Raw from the start, so nothing the host sends before it configures the line is echoed.
    if (int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY); fd >= 0) {
        termios t;
        if (::tcgetattr(fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
        ::close(fd);
    }
    std::fprintf(out, "%s\n", slave.c_str());
    std::fflush(out);

    // Pacing sleeps a few milliseconds per frame; the default 50 us of timer slack on each
    // would show up as a slower line.
    if (options.baud > 0) ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    BootLoaderSim sim(options.config);
    PacedLine line(options.baud);
    bool connected = false;
    bool open = true;
    const auto started = Clock::now();
    Clock::time_point completedAt{};
    std::uint8_t buffer[4096];
    std::vector<double> turnaroundUs;
    Clock::time_point repliedAt{};
    Clock::time_point firstByteAt{}, verdictAt{};  // the exchange, from the first sync byte on
    while (open) {
        pollfd p{master, POLLIN, 0};
        const int ready = ::poll(&p, 1, 20);
        if (ready < 0 && errno != EINTR) break;
        if (!connected && Clock::now() - started > std::chrono::seconds(options.waitSeconds)) break;
        if (sim.Complete()) {
            if (completedAt == Clock::time_point{}) completedAt = Clock::now();
            // Linger until the host lets go, so the last reply is not lost with the line.
            if (Clock::now() - completedAt > std::chrono::seconds(3)) break;
        }
        if (ready <= 0) continue;
        if (p.revents & POLLIN) {
            const ssize_t n = ::read(master, buffer, sizeof(buffer));
            if (n > 0) {
                connected = true;
                if (firstByteAt == Clock::time_point{}) firstByteAt = Clock::now();
                if (repliedAt != Clock::time_point{}) {
                    turnaroundUs.push_back(
                        std::chrono::duration<double, std::micro>(Clock::now() - repliedAt)
                            .count());
                    repliedAt = {};
                }
                line.Carry(static_cast<std::size_t>(n));
                const auto actions = sim.Receive(buffer, static_cast<std::size_t>(n));
                if (!actions.empty()) line.WaitUntilFree();  // the frame has fully arrived
                for (const SimAction& action : actions) {
                    if (action.delayMs > 0)
                        std::this_thread::sleep_for(std::chrono::milliseconds(action.delayMs));
                    if (action.kind == SimAction::Close) {
                        open = false;
                        break;
                    }
                    line.Carry(action.bytes.size());
                    line.WaitUntilFree();
                    if (!WriteAll(master, action.bytes.data(), action.bytes.size())) open = false;
                    repliedAt = Clock::now();
                    if (sim.Complete() && verdictAt == Clock::time_point{}) verdictAt = repliedAt;
                }
                continue;
            }
        }
        if (p.revents & (POLLHUP | POLLERR)) {
            if (connected) break;                                        // the host closed the line
            std::this_thread::sleep_for(std::chrono::milliseconds(10));  // no host yet
        }
    }
    ::close(master);
    if (!connected) {
        std::fprintf(out, "verdict: FAILED no host opened the line\n");
        return 1;
    }
    if (options.stats && !turnaroundUs.empty()) {
        std::sort(turnaroundUs.begin(), turnaroundUs.end());
        auto at = [&](double q) {
            return turnaroundUs[static_cast<std::size_t>(q * (turnaroundUs.size() - 1))];
        };
        std::fprintf(stderr, "turnaround: %zu replies, p50 %.0f us, p99 %.0f us, max %.0f us\n",
                     turnaroundUs.size(), at(0.5), at(0.99), turnaroundUs.back());
        if (verdictAt != Clock::time_point{})
            std::fprintf(stderr, "exchange: first host byte to the last reply %.3f s\n",
                         std::chrono::duration<double>(verdictAt - firstByteAt).count());
    }
    std::fprintf(out, "%s\n", sim.Verdict().c_str());
    std::fflush(out);
    return sim.Verified() ? 0 : 1;
}

}  // namespace ov::sim
