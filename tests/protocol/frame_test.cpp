#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace ov {
namespace {

TEST(FrameCheck, StatusReplyPassesAndFailsWithSwappedCrc) {
    // CRC-16/CCITT-FALSE of AA 02 03 00 00 is 0xC9FE (worked out with Python's binascii.crc_hqx).
    std::uint8_t frame[7] = {0xAA, 0x02, 0x03, 0x00, 0x00, 0xFE, 0xC9};
    ASSERT_EQ(FrameCheckedLength(frame), 5u);
    EXPECT_TRUE(FrameCrcOk(frame, FrameCheckedLength(frame)));
    EXPECT_EQ(frame[kReplyStatusOffset], 0);
    std::swap(frame[5], frame[6]);
    EXPECT_FALSE(FrameCrcOk(frame, 5));
}

TEST(FrameCheck, LongFrameIsCheckedOverItsFirst1026Bytes) {
    std::vector<std::uint8_t> frame = {0xAA, 0x01, 0x00, 0x04};
    for (int i = 0; i < 1022; ++i) frame.push_back(static_cast<std::uint8_t>(i * 7));
    frame.push_back(0xC7);  // 0x1DC7, from binascii.crc_hqx over bytes 0..1025
    frame.push_back(0x1D);
    ASSERT_EQ(frame.size(), 1028u);
    EXPECT_EQ(FrameLengthField(frame.data()), 0x0400);
    EXPECT_EQ(FrameCheckedLength(frame.data()), 1026u);
    EXPECT_TRUE(FrameCrcOk(frame.data(), 1026));
    frame[1025] ^= 1;
    EXPECT_FALSE(FrameCrcOk(frame.data(), 1026));
}

TEST(FrameCheck, SealWritesEnvelopeAndCrc) {
    std::uint8_t frame[7] = {0, 0, 0, 0, 0x00, 0, 0};
    EXPECT_EQ(SealFrame(frame, kDeviceStart, 2, 1), 7u);
    const std::uint8_t expected[7] = {0xAA, 0x02, 0x03, 0x00, 0x00, 0xFE, 0xC9};
    EXPECT_EQ(std::vector<std::uint8_t>(frame, frame + 7),
              std::vector<std::uint8_t>(expected, expected + 7));
}

TEST(FrameConstants, ReplyIdsAndSyncPattern) {
    EXPECT_EQ(StepReplyId(1), 0x01AA);
    EXPECT_EQ(StepReplyId(7), 0x07AA);
    for (auto b : kSyncPattern) EXPECT_EQ(b, 0x99);
    EXPECT_EQ(kSyncPattern.size(), 10u);
    EXPECT_EQ(chipinfo::kMinLength, 36);
}

}  // namespace
}  // namespace ov
