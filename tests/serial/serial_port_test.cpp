#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "common/loader_error.h"
#include "serial/serial_link.h"
#include "support/event_recorder.h"
#include "support/recording_sinks.h"
#include "support/test_files.h"

namespace ov {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// A pseudo-terminal whose master side plays the chip.
class PtyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        int slave = -1;
        char name[256];
        ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        termios t;
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        ::close(slave);
        path = name;
        ASSERT_TRUE(port.Open(path, &events));
    }
    void TearDown() override {
        port.Close();
        if (master >= 0) ::close(master);
    }
    void Chip(const Bytes& bytes) {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // What the line received until `count` bytes came, joined from the events' bytes.
    Bytes Received(std::size_t count, std::chrono::milliseconds within = 5000ms) {
        Bytes got;
        const auto end = Clock::now() + within;
        while (got.size() < count && Clock::now() < end) {
            auto e = events.Next(
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()));
            if (!e.has_value()) break;
            EXPECT_EQ(e->id, kDataReceived);
            if (!e->bytes) {
                ADD_FAILURE() << "an event without its bytes";
                break;
            }
            EXPECT_EQ(e->wParam, static_cast<std::int64_t>(e->bytes->size()));
            got.insert(got.end(), e->bytes->begin(), e->bytes->end());
        }
        return got;
    }

    int master = -1;
    std::string path;
    test::EventRecorder events;
    SerialPort port;
};

TEST_F(PtyTest, EveryByteArrivesOnceInOrderWhateverThePieces) {
    // Frames, other bytes, pieces of any size: the reader hands on what it read, and the run's
    // session cuts it into frames.
    Bytes stream;
    for (int f = 0; f < 300; ++f) {
        Bytes frame = {0xAA, 0x04, 0x00, 0x04};
        frame.resize(1028);
        for (std::size_t i = 4; i < frame.size(); ++i)
            frame[i] = static_cast<std::uint8_t>(f * 7 + i);
        if (f % 3 == 0) frame.insert(frame.begin(), {0x41, 0x42, 0x43});
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    for (std::size_t at = 0; at < stream.size(); at += 37 * 13)
        Chip(Bytes(
            stream.begin() + static_cast<std::ptrdiff_t>(at),
            stream.begin() + static_cast<std::ptrdiff_t>(std::min(stream.size(), at + 37 * 13))));
    EXPECT_EQ(Received(stream.size()), stream);
    EXPECT_FALSE(events.Next(150ms).has_value());
}

TEST_F(PtyTest, ClosingTheOtherEndIsAPortErrorAtOnce) {
    const auto start = Clock::now();
    ::close(master);
    master = -1;
    auto e = events.Next(200ms);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->id, kPortError);
    EXPECT_LT(Clock::now() - start, 200ms);
}

TEST_F(PtyTest, SecondOpenRefusedAndCloseWakesTheReader) {
    SerialPort second;
    EXPECT_FALSE(second.Open(path, &events));
    EXPECT_TRUE(port.Open(path, &events));  // already open: true without reopening
    const auto start = Clock::now();
    EXPECT_TRUE(port.Close());
    EXPECT_LT(Clock::now() - start, 100ms);
    EXPECT_FALSE(port.IsOpen());
    SerialPort never;
    EXPECT_TRUE(never.Close());
    EXPECT_TRUE(second.Open(path, &events));  // free again
}

TEST_F(PtyTest, LinkSendsWithDumpsInDebugOperation) {
    port.Close();
    test::RecordingObserver log;
    ProgressView view(&log);
    SerialLink link(LinkContext{&events, &view, nullptr, true, 0});
    EXPECT_THROW(link.Send(Bytes(3).data(), 3), LoaderError);
    link.OpenByName(path);
    const Bytes sync(10, 0x99), frame = {0x55, 0x02, 0x21, 0x01, 0xAB};
    link.Send(sync.data(), sync.size());
    EXPECT_TRUE(log.entries.empty());
    link.Send(frame.data(), frame.size());
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_NE(log.entries[0].find("-----\r\n55 02 21 01 AB\r\n\r\n"), std::string::npos);
    Bytes got(15);
    std::size_t have = 0;
    while (have < 15) {
        const ssize_t n = ::read(master, got.data() + have, 15 - have);
        ASSERT_GT(n, 0);
        have += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 10), sync);
    EXPECT_EQ(Bytes(got.begin() + 10, got.end()), frame);
}

TEST_F(PtyTest, WritesNeverWaitAndAStuckLineEndsInAPortError) {
    // The chip reads nothing: the terminal's buffer fills, yet no write holds the caller.
    port.Close();
    port.writeTimeoutMs = 400;
    ASSERT_TRUE(port.Open(path, &events, 7));
    const Bytes frame = test::RandomBytes(1030, 3);
    Clock::duration longest{};
    const auto start = Clock::now();
    for (int i = 0; i < 200; ++i) {
        const auto before = Clock::now();
        port.Write(frame.data(), frame.size());
        longest = std::max(longest, Clock::now() - before);
    }
    EXPECT_LT(longest, 50ms);
    auto e = events.Next(3000ms);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->id, kPortError);
    EXPECT_EQ(e->source, 7u);  // stamped with the open that posted it
    EXPECT_GE(Clock::now() - start, 350ms);
    EXPECT_FALSE(port.Write(frame.data(), frame.size()));  // a failed line takes nothing more

    // A chip that reads late gets every byte, in order, once the device drains.
    port.Close();
    for (pollfd p{master, POLLIN, 0}; ::poll(&p, 1, 50) > 0;) {  // what the stuck run left behind
        Bytes scrap(4096);
        if (::read(master, scrap.data(), scrap.size()) <= 0) break;
    }
    port.writeTimeoutMs = 5000;
    ASSERT_TRUE(port.Open(path, &events, 8));
    Bytes sent;
    for (int i = 0; i < 64; ++i) {
        const Bytes piece = test::RandomBytes(1030, 100 + i);
        port.Write(piece.data(), piece.size());
        sent.insert(sent.end(), piece.begin(), piece.end());
    }
    Bytes got(sent.size());
    std::size_t have = 0;
    const auto deadline = Clock::now() + 5s;
    while (have < got.size() && Clock::now() < deadline) {
        const ssize_t n = ::read(master, got.data() + have, got.size() - have);
        if (n > 0) have += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(have, sent.size());
    EXPECT_TRUE(got == sent);
    EXPECT_FALSE(events.Next(100ms).has_value());
}

TEST(PortNames, ComNumbersAndDeviceNames) {
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(PortNumberFromName("COM12"), 12);
    EXPECT_EQ(PortNumberFromName("com3"), 3);
    EXPECT_EQ(PortNumberFromName("USB-SERIAL (COM7)"), 7);
    try {
        PortNumberFromName("USB");
        FAIL();
    } catch (const LoaderError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "No serial port available! \r\n Please check whether the device is well "
                  "\r\nconnected and whether the "
                  "serial port driver has been installed .");
    }
    EXPECT_THROW(PortNumberFromName("COM99999999999"), std::out_of_range);
    EXPECT_EQ(ComDeviceName(9), "COM9");
    EXPECT_EQ(ComDeviceName(10), "\\\\.\\COM10");
    SerialLink link{LinkContext{}};
    try {
        link.OpenByName("COM9");
        FAIL();
    } catch (const LoaderError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Open failed!\r\n Please check: \r\n 1. Whether", 0),
                  0u);
        EXPECT_EQ(e.Cause(),
                  "COM9: No such file or directory");  // the system's reason stays with it
    }
    unsetenv("LC_ALL");
}

}  // namespace
}  // namespace ov
