#include "serial/serial_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "log/download_log.h"
#include "serial/posix/serial_device.h"

namespace ov {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOtherDataQuietMs = 100;
constexpr std::int32_t kOtherDataLimit = 100;
constexpr int kWriteTimeoutMs = 5000;

}  // namespace

bool SerialPort::Open(const std::string& devicePath, EventHost* host) {
    if (IsOpen()) return true;
    const int fd = posix::OpenSerialDevice(devicePath);
    if (fd < 0) return false;
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    wakeFd_ = wake;
    host_ = host;
    ring_ = std::make_unique<std::uint8_t[]>(kRingSize);
    ringWriteIndex_ = 0;
    ringReadIndex_ = 0;
    errorPosted_ = false;
    keepRunning_ = true;
    reader_ = std::thread([this] { ReaderLoop(); });
    return true;
}

bool SerialPort::Close() {
    keepRunning_ = false;
    if (reader_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof(one));
        reader_.join();
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
    ring_.reset();
    host_ = nullptr;
    return true;
}

void SerialPort::Post(std::int64_t count, std::int64_t kind) {
    if (host_ != nullptr) host_->Post({kDataReceived, count, kind});
}

void SerialPort::PostError() {
    // One report per open: the controller ends the run at the first.
    if (!errorPosted_.exchange(true) && host_ != nullptr) host_->Post({kPortError, 0, 0});
}

bool SerialPort::Write(const std::uint8_t* bytes, std::size_t length) {
    if (!IsOpen()) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
    while (length > 0) {
        const ssize_t n = ::write(fd_, bytes, length);
        if (n > 0) {
            bytes += n;
            length -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            PostError();  // EIO, ENODEV: the device is gone
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd_, POLLOUT, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) == 0 || (p.revents & (POLLERR | POLLHUP))) {
            PostError();
            return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> SerialPort::Read(std::size_t count) {
    LogLine("read()串口打开状态:%d\n", IsOpen() ? 1 : 0);
    if (count > static_cast<std::size_t>(kRingSize) || !ring_) return {};
    std::vector<std::uint8_t> out(count + 1, 0);
    const std::int32_t writeIndex = ringWriteIndex_.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < count; ++i) {
        if (ringReadIndex_ == writeIndex) return {};
        out[i] = ring_[static_cast<std::size_t>(ringReadIndex_)];
        ringReadIndex_ = ringReadIndex_ + 1 == kRingSize ? 0 : ringReadIndex_ + 1;
    }
    LogLine("read()读取索引:%d,写入索引:%d\n", ringReadIndex_, writeIndex);
    return out;
}

void SerialPort::ReaderLoop() {
    std::int32_t pending = 0;  // bytes of the current unit already in the ring
    std::int32_t expected = 4;
    bool inFrame = false;
    std::int32_t lowAt = 0, highAt = 0;
    Clock::time_point lastByte{};
    std::uint8_t chunk[1024];
    auto at = [this](std::int32_t index) { return ring_[static_cast<std::size_t>(index)]; };

    while (keepRunning_) {
        int timeout = -1;
        const bool otherPending = !inFrame && pending >= 2;
        if (otherPending) {
            const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastByte).count();
            timeout = static_cast<int>(std::max<long long>(0, kOtherDataQuietMs - quiet));
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            PostError();
            return;
        }
        if (!keepRunning_ || (fds[1].revents & POLLIN)) return;
        if (ready == 0) {
            // Silence: bytes outside any frame are reported.
            if (otherPending) {
                Post(pending, 1);
                inFrame = false;
                pending = 0;
                expected = 4;
            }
            continue;
        }
        if (!(fds[0].revents & POLLIN) && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            PostError();  // unplugged, or the other end closed the line
            return;
        }
        const ssize_t n = ::read(fd_, chunk, sizeof(chunk));
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) {
            PostError();
            return;
        }
        lastByte = Clock::now();
        std::int32_t write = ringWriteIndex_.load(std::memory_order_relaxed);
        for (ssize_t i = 0; i < n; ++i) {
            ring_[static_cast<std::size_t>(write)] = chunk[i];
            if (inFrame && pending == 2) lowAt = write;
            if (inFrame && pending == 3) highAt = write;
            const std::int32_t previous = write;
            write = write + 1 == kRingSize ? 0 : write + 1;
            ++pending;
            if (inFrame) {
                if (pending == 3) expected += at(lowAt);
                if (pending == 4) expected += 256 * at(highAt);
                if (pending == expected) {
                    ringWriteIndex_.store(write, std::memory_order_release);
                    Post(expected, 0);
                    inFrame = false;
                    pending = 0;
                    expected = 4;
                }
            } else if (pending >= 2) {
                const std::int32_t before = previous == 0 ? kRingSize - 1 : previous - 1;
                if (at(before) == 0xAA && at(previous) >= 1 && at(previous) <= 7) {
                    if (pending > 2) {
                        ringWriteIndex_.store(before, std::memory_order_release);
                        Post(pending - 2, 1);
                    }
                    inFrame = true;
                    pending = 2;
                    expected = 4;
                }
            }
        }
        ringWriteIndex_.store(write, std::memory_order_release);
        if (!inFrame && pending >= kOtherDataLimit) {
            pollfd more{fd_, POLLIN, 0};
            if (::poll(&more, 1, 0) == 0) {  // bytes already queued are read first
                Post(pending, 1);
                pending = 0;
                expected = 4;
            }
        }
    }
}

}  // namespace ov
