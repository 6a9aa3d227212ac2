#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/event_host.h"

namespace ov {

// One serial device. Its reader thread posts what it reads as kDataReceived carrying the bytes
// (cut into frames on the event thread, by the run's session), or kPortError, each stamped with
// the source given at open; it also finishes writes the device could not take at once, so no
// write ever holds the event thread.
class SerialPort {
  public:
    SerialPort() = default;
    ~SerialPort() { Close(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device and starts the reader; true at once when already open. On failure
    // errno says why (EBUSY when another program holds the device).
    bool Open(const std::string& devicePath, EventChannel* events, std::uint64_t source = 0);
    // Stops the reader (waking it at once) and closes the device; safe when never opened.
    bool Close();
    // Queues all bytes and returns at once; what the device does not take within
    // writeTimeoutMs posts kPortError. False when the port is closed or already failed.
    bool Write(const std::uint8_t* bytes, std::size_t length);
    bool IsOpen() const { return fd_ >= 0; }

    int writeTimeoutMs = 5000;

  private:
    using Clock = std::chrono::steady_clock;

    void ReaderLoop();
    void PostBytes(const std::uint8_t* bytes, std::size_t count);
    void PostError();
    // Drops the bytes waiting to be written and reports the line lost (outMutex_ held).
    void FailWrite();
    // Brings the reader thread out of its poll.
    void WakeReader();
    // Writes what the device takes now; false on a device error. Called with outMutex_ held.
    bool FlushPending();

    int fd_ = -1;
    int wakeFd_ = -1;
    EventChannel* events_ = nullptr;
    std::uint64_t source_ = 0;
    std::atomic<bool> keepRunning_{false};
    std::atomic<bool> errorPosted_{false};
    std::mutex outMutex_;
    std::vector<std::uint8_t> pending_;  // bytes the device has not taken yet
    std::size_t pendingAt_ = 0;
    Clock::time_point writeDeadline_{};
    std::thread reader_;
};

}  // namespace ov
