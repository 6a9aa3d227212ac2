#include "serial/serial_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "serial/posix/serial_device.h"

namespace ov {

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
    events_ = nullptr;
    std::lock_guard<std::mutex> lock(outMutex_);
    pending_.clear();
    pendingAt_ = 0;
    return true;
}

void SerialPort::PostBytes(const std::uint8_t* bytes, std::size_t count) {
    if (events_ == nullptr) return;
    events_->Post({kDataReceived, static_cast<std::int64_t>(count), 0, source_,
                   std::make_shared<const std::vector<std::uint8_t>>(bytes, bytes + count)});
}

void SerialPort::PostError() {
    // One report per open: the controller ends the run at the first.
    if (!errorPosted_.exchange(true) && events_ != nullptr)
        events_->Post({kPortError, 0, 0, source_});
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

void SerialPort::ReaderLoop() {
    std::uint8_t chunk[4096];
    while (keepRunning_) {
        int timeout = -1;
        short deviceEvents = POLLIN;
        {
            std::lock_guard<std::mutex> lock(outMutex_);
            if (!pending_.empty()) {
                deviceEvents |= POLLOUT;
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      writeDeadline_ - Clock::now())
                                      .count() +
                                  1;
                timeout = static_cast<int>(std::max<long long>(0, left));
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
        PostBytes(chunk, static_cast<std::size_t>(n));
    }
}

}  // namespace ov
