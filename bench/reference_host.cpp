#include "reference_host.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "protocol/frame.h"
#include "session/protocol_engine.h"

namespace ov::bench {

namespace {

using Clock = std::chrono::steady_clock;

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            pollfd p{fd, POLLOUT, 0};
            if (errno != EAGAIN || ::poll(&p, 1, 1000) <= 0) return false;
            continue;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Takes the first complete frame of the boot loader out of `pending`; bytes before it are dropped.
bool NextFrame(std::vector<std::uint8_t>& pending, std::vector<std::uint8_t>& frame) {
    std::size_t start = 0;
    while (start + 1 < pending.size() &&
           !(pending[start] == kDeviceStart && pending[start + 1] >= 1 && pending[start + 1] <= 7))
        ++start;
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(start));
    if (pending.size() < kFrameHeaderSize) return false;
    const std::size_t size = kFrameHeaderSize + pending[2] + 256u * pending[3];
    if (pending.size() < size) return false;
    frame.assign(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(size));
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(size));
    return true;
}

}  // namespace

bool RunReferenceHost(const std::string& port, const std::string& image) {
    const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return false;
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    ProgressView view;
    DownloadLog noLog;  // the least a host can do: no log
    ProtocolEngine engine;
    engine.Init(image, "", &view, noLog, DownloadOptions{});

    const auto giveUp = Clock::now() + std::chrono::minutes(5);
    std::vector<std::uint8_t> pending, frame;
    std::uint8_t chunk[2048];
    bool ok = false;
    for (bool running = true; running && Clock::now() < giveUp;) {
        // The sync pattern every 3 ms until the chip answers, then nothing but replies.
        const bool handshake = engine.NeedHandShake();
        if (handshake && !WriteAll(fd, engine.SyncPattern().data(), engine.SyncPattern().size()))
            break;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, handshake ? 3 : 5000);
        if (ready < 0 || (ready == 0 && !handshake)) break;
        if (ready == 0) continue;
        const ssize_t n = ::read(fd, chunk, sizeof(chunk));
        if (n <= 0) break;
        pending.insert(pending.end(), chunk, chunk + n);
        while (running && NextFrame(pending, frame)) {
            if (!engine.AcceptsFrame(frame.data())) continue;
            const EngineResult r = engine.OnFrame(frame.data());
            if (r.outcome == Outcome::Continue) {
                if (r.frame && !WriteAll(fd, r.frame, r.frameSize)) running = false;
                continue;
            }
            ok = r.outcome == Outcome::Finished || r.outcome == Outcome::FinishedWithExtras;
            running = false;
        }
    }
    ::close(fd);
    return ok;
}

}  // namespace ov::bench
