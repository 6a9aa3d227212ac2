#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/event_host.h"

namespace ov {

inline constexpr std::int32_t kRingSize = 655500;

// One serial device: its reader thread cuts received bytes into frames in a ring and posts
// kDataReceived (count, 0 for a frame / 1 for other bytes) or kPortError to the host.
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort() { Close(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device and starts the reader; true at once when already open.
    bool Open(const std::string& devicePath, EventHost* host);
    // Stops the reader (waking it at once) and closes the device; safe when never opened.
    bool Close();
    // Writes all bytes; a write that cannot complete within 5000 ms posts kPortError.
    bool Write(const std::uint8_t* bytes, std::size_t length);
    // Takes the next `count` bytes out of the ring, followed by one zero byte; empty when
    // the ring does not hold that many (the bytes already taken stay taken).
    std::vector<std::uint8_t> Read(std::size_t count);
    bool IsOpen() const { return fd_ >= 0; }
    std::int32_t RingWriteIndex() const { return ringWriteIndex_.load(); }
    std::int32_t RingReadIndex() const { return ringReadIndex_; }

private:
    void ReaderLoop();
    void Post(std::int64_t count, std::int64_t kind);
    void PostError();

    int fd_ = -1;
    int wakeFd_ = -1;
    EventHost* host_ = nullptr;
    std::unique_ptr<std::uint8_t[]> ring_;
    std::atomic<std::int32_t> ringWriteIndex_{0};
    std::int32_t ringReadIndex_ = 0;
    std::atomic<bool> keepRunning_{false};
    std::atomic<bool> errorPosted_{false};
    std::thread reader_;
};

}  // namespace ov
