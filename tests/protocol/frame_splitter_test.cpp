// Cutting received bytes into frames and other bytes, on a virtual clock.
#include "protocol/frame_splitter.h"

#include <gtest/gtest.h>

#include <random>

#include "support/fault_cases.h"

namespace ov {
namespace {

using Bytes = std::vector<std::uint8_t>;

class SplitterTest : public ::testing::Test {
  protected:
    void Feed(const Bytes& bytes) { splitter.Push(bytes.data(), bytes.size(), now, units); }
    void FeedByteByByte(const Bytes& bytes) {
        for (std::uint8_t b : bytes) {
            splitter.Push(&b, 1, now, units);
            ++now;
        }
    }
    void Quiet(std::uint64_t ms) {
        now += ms;
        splitter.Tick(now, units);
    }
    // The units so far, as "F:" or "O:" and their size; emptied.
    std::vector<std::string> Take() {
        std::vector<std::string> shown;
        for (const auto& u : units)
            shown.push_back((u.frame ? "F:" : "O:") + std::to_string(u.bytes.size()));
        taken.insert(taken.end(), units.begin(), units.end());
        units.clear();
        return shown;
    }

    FrameSplitter splitter;
    std::vector<ReceivedUnit> units, taken;
    std::uint64_t now = 1000;
};

// A step-2 reply with status 0 and its CRC-16/CCITT-FALSE (worked out by hand elsewhere; the
// splitter checks no CRC, so any two bytes do).
const Bytes kReply2 = {0xAA, 0x02, 0x03, 0x00, 0x00, 0x12, 0x34};

Bytes Step1Reply() {
    Bytes frame = {0xAA, 0x01, 0x26, 0x00};  // length 38: the report's 36 bytes and the CRC
    for (int i = 0; i < 38; ++i) frame.push_back(static_cast<std::uint8_t>(0x10 + i));
    return frame;
}

TEST_F(SplitterTest, FramesAndOtherBytesAsTheReaderAlwaysCutThem) {
    Feed({0xAA, 0x01, 0x02, 0x00, 0x11, 0x22});
    EXPECT_EQ(Take(), std::vector<std::string>({"F:6"}));
    EXPECT_EQ(taken.back().bytes, Bytes({0xAA, 0x01, 0x02, 0x00, 0x11, 0x22}));
    // Byte by byte: ABC is reported when the header is seen, then the empty frame.
    FeedByteByByte({0x41, 0x42, 0x43, 0xAA, 0x02, 0x00, 0x00});
    EXPECT_EQ(Take(), std::vector<std::string>({"O:3", "F:4"}));
    EXPECT_EQ(taken[1].bytes, Bytes({'A', 'B', 'C'}));
    // AA 00 and AA 08 start nothing; AA 07 does. Quiet other bytes come after 100 ms.
    Feed({0xAA, 0x00, 0xAA, 0x08});
    EXPECT_TRUE(Take().empty());
    Quiet(kFrameStallMs - 1);
    EXPECT_TRUE(Take().empty());
    Quiet(1);
    EXPECT_EQ(Take(), std::vector<std::string>({"O:4"}));
    Feed({0xAA, 0x07, 0x03, 0x00, 0x00, 0x12, 0x34});
    EXPECT_EQ(Take(), std::vector<std::string>({"F:7"}));
    // A lone byte waits for company, even through silence; 100 other bytes go at once.
    Feed({0x01});
    Quiet(1000);
    EXPECT_TRUE(Take().empty());
    EXPECT_FALSE(splitter.NextDeadline().has_value());
    Feed(Bytes(99, 0x55));
    EXPECT_EQ(Take(), std::vector<std::string>({"O:100"}));
    // The longest frame: a length field of 1026, 1030 bytes.
    Bytes longest = {0xAA, 0x04, 0x02, 0x04};
    longest.resize(1030, 0x77);
    FeedByteByByte(longest);
    EXPECT_EQ(Take(), std::vector<std::string>({"F:1030"}));
}

TEST_F(SplitterTest, NoiseThatLooksLikeAHeaderNeverSwallowsTheRealReply) {
    // A length no reply has (0xFFFF): no frame; the real reply behind it is cut at once.
    Bytes line = {0xAA, 0x03, 0xFF, 0xFF};
    line.insert(line.end(), kReply2.begin(), kReply2.end());
    Feed(line);
    EXPECT_EQ(Take(), std::vector<std::string>({"O:4", "F:7"}));
    EXPECT_EQ(taken.back().bytes, kReply2);

    // A plausible length (1000) takes the real reply in; the line then goes quiet, the false
    // frame is given up after the stall bound and the reply comes out whole.
    line = {0xAA, 0x05, 0xE8, 0x03};
    line.insert(line.end(), kReply2.begin(), kReply2.end());
    FeedByteByByte(line);
    EXPECT_TRUE(Take().empty());
    ASSERT_TRUE(splitter.NextDeadline().has_value());
    EXPECT_EQ(*splitter.NextDeadline(), now - 1 + kFrameStallMs);
    Quiet(kFrameStallMs);
    EXPECT_EQ(Take(), std::vector<std::string>({"O:4", "F:7"}));
    EXPECT_EQ(taken.back().bytes, kReply2);

    // Two false headers nested, the second inside the first, and the reply last.
    line = {0xAA, 0x06, 0x00, 0x02, 0x99, 0xAA, 0x04, 0x20, 0x00, 0x98};
    line.insert(line.end(), kReply2.begin(), kReply2.end());
    Feed(line);
    Quiet(kFrameStallMs);
    EXPECT_EQ(Take(), std::vector<std::string>({"O:5", "O:5", "F:7"}));
    EXPECT_EQ(taken.back().bytes, kReply2);

    // A frame cut short, then the next reply after the silence.
    Feed({0xAA, 0x04, 0x10, 0x00, 0x01, 0x02});
    Quiet(kFrameStallMs);
    EXPECT_EQ(Take(), std::vector<std::string>({"O:6"}));
    Feed(kReply2);
    EXPECT_EQ(Take(), std::vector<std::string>({"F:7"}));
    EXPECT_EQ(splitter.Held(), 0u);
}

TEST_F(SplitterTest, AMebibyteOfGarbageBeforeTheStep1ReplyLosesNoByte) {
    // No start byte but in false headers claiming 0xFFFF bytes.
    const Bytes garbage = test::MebibyteOfNoise();
    const Bytes reply = Step1Reply();
    Bytes line = garbage;
    line.insert(line.end(), reply.begin(), reply.end());
    for (std::size_t at = 0; at < line.size(); at += 1024) {
        const std::size_t n = std::min<std::size_t>(1024, line.size() - at);
        splitter.Push(line.data() + at, n, now, units);
    }
    Take();
    ASSERT_FALSE(taken.empty());
    EXPECT_TRUE(taken.back().frame);
    EXPECT_EQ(taken.back().bytes, reply);
    Bytes joined;
    for (std::size_t i = 0; i + 1 < taken.size(); ++i) {
        EXPECT_FALSE(taken[i].frame) << "unit " << i;
        EXPECT_LE(taken[i].bytes.size(), 1024u + kOtherBytesReported);
        joined.insert(joined.end(), taken[i].bytes.begin(), taken[i].bytes.end());
    }
    EXPECT_EQ(joined, garbage);
}

TEST_F(SplitterTest, AnySplitOfAnyStreamComesOutWholeAndInOrder) {
    // Replies with noise between them, cut into pieces of any size at any moment: the units,
    // joined, are the stream; every reply that follows a quiet line is a frame of its own.
    std::mt19937 random(2026);
    for (int round = 0; round < 200; ++round) {
        FrameSplitter s;
        std::vector<ReceivedUnit> out;
        Bytes stream;
        std::vector<Bytes> replies;
        std::uint64_t t = 0;
        for (int piece = 0; piece < 8; ++piece) {
            Bytes part;
            if (random() % 2) {
                for (int n = static_cast<int>(random() % 40); n > 0; --n)
                    part.push_back(static_cast<std::uint8_t>(random()));
            } else {
                part = random() % 2 ? kReply2 : Step1Reply();
                replies.push_back(part);
            }
            for (std::size_t at = 0; at < part.size();) {
                const std::size_t n = std::min<std::size_t>(1 + random() % 9, part.size() - at);
                s.Push(part.data() + at, n, t, out);
                at += n;
                t += random() % 3;
            }
            stream.insert(stream.end(), part.begin(), part.end());
            // The chip waits for the host after each reply: the line goes quiet.
            t += kFrameStallMs;
            s.Tick(t, out);
        }
        t += kFrameStallMs;
        s.Tick(t, out);
        Bytes joined;
        for (const auto& u : out) joined.insert(joined.end(), u.bytes.begin(), u.bytes.end());
        joined.insert(joined.end(), stream.end() - static_cast<std::ptrdiff_t>(s.Held()),
                      stream.end());
        ASSERT_EQ(joined, stream) << "round " << round;
        ASSERT_LE(s.Held(), 1u);
        std::size_t found = 0;
        for (const auto& u : out)
            if (u.frame && found < replies.size() && u.bytes == replies[found]) ++found;
        EXPECT_EQ(found, replies.size()) << "round " << round;
    }
}

}  // namespace
}  // namespace ov
