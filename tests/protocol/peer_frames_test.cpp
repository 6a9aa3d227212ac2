#include "bootsim/peer_frames.h"

#include <gtest/gtest.h>

namespace ov::sim {
namespace {

TEST(PeerFrames, ChipInfoReplyCarriesEveryFieldAtItsOffset) {
    ChipInfo info;
    info.stage = 0x7777;
    info.csn = {1, 2, 3, 4, 5, 6};
    info.syncTimeMs = 100;
    info.timeoutCoefficient = 2;
    info.variant = -2;
    for (int i = 0; i < 16; ++i) info.esn[i] = static_cast<std::uint8_t>(0x10 + i);
    info.productSyncTimeMs = 50;
    info.productTimeoutCoefficient = 3;
    info.equipmentInfo = -300;
    info.appVersion = 0x1234;
    // Laid out by hand with Python's struct and binascii.crc_hqx.
    const std::vector<std::uint8_t> expected = {
        0xAA, 0x01, 0x24, 0x00, 0x77, 0x77, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x64, 0x02,
        0xFE, 0xFF, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B,
        0x1C, 0x1D, 0x1E, 0x1F, 0x32, 0x03, 0xD4, 0xFE, 0x34, 0x12, 0x27, 0xB2};
    EXPECT_EQ(BuildChipInfoReply(info), expected);
}

TEST(PeerFrames, StatusReply) {
    const std::vector<std::uint8_t> expected = {0xAA, 0x06, 0x03, 0x00, 0x04, 0x8B, 0x43};
    EXPECT_EQ(BuildStatusReply(6, 4), expected);
}

}  // namespace
}  // namespace ov::sim
