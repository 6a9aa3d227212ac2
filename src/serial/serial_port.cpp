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

constexpr int kOtherDataQuietMs = 100;
constexpr std::int32_t kOtherDataLimit = 100;

}  // namespace

bool SerialPort::Open(const std::string& devicePath, EventChannel* events, std::uint64_t source) {
    if (IsOpen()) return true;
    const int fd = posix::OpenSerialDevice(devicePath);
    if (fd < 0) return false;
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    fd_ = fd;
    wakeFd_ = wake;
    events_ = events;
    source_ = source;
    ring_ = std::make_unique<std::uint8_t[]>(kRingSize);
    ringWriteIndex_ = 0;
    ringReadIndex_ = 0;
    errorPosted_ = false;
    pending_.clear();
    pendingAt_ = 0;
    keepRunning_ = true;
    reader_ = std::thread([this] { ReaderLoop(); });
    return true;
}

bool SerialPort::Close() {
    keepRunning_ = false;
    if (reader_.joinable()) {
        WakeReader();
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
    events_ = nullptr;
    std::lock_guard<std::mutex> lock(outMutex_);
    pending_.clear();
    pendingAt_ = 0;
    return true;
}

void SerialPort::Post(std::int64_t count, std::int64_t kind) {
    if (events_ != nullptr) events_->Post({kDataReceived, count, kind, source_});
}

void SerialPort::PostError() {
    // One report per open: the controller ends the run at the first.
    if (!errorPosted_.exchange(true) && events_ != nullptr) events_->Post({kPortError, 0, 0, source_});
}

bool SerialPort::FlushPending() {
    while (pendingAt_ < pending_.size()) {
        const ssize_t n = ::write(fd_, pending_.data() + pendingAt_, pending_.size() - pendingAt_);
        if (n > 0) {
            pendingAt_ += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return true;
        return false;  // EIO, ENODEV: the device is gone
    }
    pending_.clear();
    pendingAt_ = 0;
    return true;
}

bool SerialPort::Write(const std::uint8_t* bytes, std::size_t length) {
    if (!IsOpen() || errorPosted_) return false;
    bool handOver = false;
    {
        std::lock_guard<std::mutex> lock(outMutex_);
        const bool idle = pending_.empty();
        pending_.insert(pending_.end(), bytes, bytes + length);
        if (idle) {
            if (!FlushPending()) {
                FailWrite();
                return false;
            }
            // The device's buffer is full: the reader finishes the write when it drains.
            if (!pending_.empty()) {
                writeDeadline_ = Clock::now() + std::chrono::milliseconds(writeTimeoutMs);
                handOver = true;
            }
        }
    }
    if (handOver) WakeReader();
    return true;
}

void SerialPort::FailWrite() {
    pending_.clear();
    pendingAt_ = 0;
    PostError();
}

void SerialPort::WakeReader() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof(one));
}

std::vector<std::uint8_t> SerialPort::Read(std::size_t count) {
    if (log_ != nullptr) log_->Line("read()串口打开状态:%d\n", IsOpen() ? 1 : 0);
    if (count > static_cast<std::size_t>(kRingSize) || !ring_) return {};
    std::vector<std::uint8_t> out(count + 1, 0);
    const std::int32_t writeIndex = ringWriteIndex_.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < count; ++i) {
        if (ringReadIndex_ == writeIndex) return {};
        out[i] = ring_[static_cast<std::size_t>(ringReadIndex_)];
        ringReadIndex_ = ringReadIndex_ + 1 == kRingSize ? 0 : ringReadIndex_ + 1;
    }
    if (log_ != nullptr) log_->Line("read()读取索引:%d,写入索引:%d\n", ringReadIndex_, writeIndex);
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
        short deviceEvents = POLLIN;
        {
            std::lock_guard<std::mutex> lock(outMutex_);
            if (!pending_.empty()) {
                deviceEvents |= POLLOUT;
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(writeDeadline_ - Clock::now()).count() + 1;
                const int writeWait = static_cast<int>(std::max<long long>(0, left));
                timeout = timeout < 0 ? writeWait : std::min(timeout, writeWait);
            }
        }
        pollfd fds[2] = {{fd_, deviceEvents, 0}, {wakeFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            PostError();
            return;
        }
        if (!keepRunning_) return;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t drained = ::read(wakeFd_, &count, sizeof(count));
        }
        {
            // A write the device could not take at once goes on here, bounded by its deadline.
            std::lock_guard<std::mutex> lock(outMutex_);
            bool failed = (fds[0].revents & POLLOUT) && !pending_.empty() && !FlushPending();
            failed = failed || (!pending_.empty() && Clock::now() >= writeDeadline_);
            if (failed) FailWrite();
        }
        if (otherPending && !(fds[0].revents & POLLIN) &&
            Clock::now() - lastByte >= std::chrono::milliseconds(kOtherDataQuietMs)) {
            // Silence: bytes outside any frame are reported.
            Post(pending, 1);
            inFrame = false;
            pending = 0;
            expected = 4;
        }
        if (!(fds[0].revents & POLLIN)) {
            if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                PostError();  // unplugged, or the other end closed the line
                return;
            }
            continue;
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
