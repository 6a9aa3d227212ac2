#include "protocol/crc.h"

#include <gtest/gtest.h>

#include <cstring>

namespace ov {
namespace {

const auto* kCheck = reinterpret_cast<const std::uint8_t*>("123456789");

TEST(Crc16, PublishedCheckValueAndEmptyInput) {
    EXPECT_EQ(Crc16(kCheck, 9), 0x29B1);
    EXPECT_EQ(Crc16(kCheck, 0), 0xFFFF);
    EXPECT_EQ(Crc16(nullptr, 5), 0xFFFF);
}

TEST(Crc32, PublishedMpeg2CheckValue) {
    EXPECT_EQ(Crc32(kCheck, 9), 0x0376E6E7u);
    EXPECT_EQ(Crc32(kCheck, 0), 0xFFFFFFFFu);
    // Continuing over pieces gives the same value as one pass.
    EXPECT_EQ(Crc32Update(Crc32(kCheck, 4), kCheck + 4, 5), 0x0376E6E7u);
}

TEST(LittleEndian, LowByteFirstForTheGivenWidth) {
    std::uint8_t buffer[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    PutLittleEndian(buffer + 1, 0x11223344u, 3);
    const std::uint8_t expected[6] = {0xEE, 0x44, 0x33, 0x22, 0xEE, 0xEE};
    EXPECT_EQ(std::memcmp(buffer, expected, 6), 0);
    EXPECT_EQ(GetLittleEndian(buffer + 1, 3), 0x223344u);
}

}  // namespace
}  // namespace ov
