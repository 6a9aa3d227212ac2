#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace ov::sim {

// What a chip tells about itself in its step-1 reply.
struct ChipInfo {
    std::uint16_t stage = 0x0000;
    std::array<std::uint8_t, 6> csn{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};
    std::uint8_t syncTimeMs = 100;
    std::uint8_t timeoutCoefficient = 2;
    std::int16_t variant = 0;
    std::array<std::uint8_t, 16> esn{};
    std::uint8_t productSyncTimeMs = 100;
    std::uint8_t productTimeoutCoefficient = 2;
    std::int16_t equipmentInfo = 0;
    std::int16_t appVersion = 0;
};

// The step-1 reply: AA 01, length 36 (38 bytes of fields), the fields, CRC-16.
std::vector<std::uint8_t> BuildChipInfoReply(const ChipInfo& info);

// The reply to a step-2, 3, 4 or 6 frame, or the unrequested step-5 and step-7 replies:
// AA step, length 3, the status byte, CRC-16.
std::vector<std::uint8_t> BuildStatusReply(int step, std::uint8_t status);

}  // namespace ov::sim
