#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ov {

// Every frame: start byte, command or step, 16-bit length (bytes after the length field,
// CRC included), payload, CRC-16 of everything before it. Little-endian throughout.
inline constexpr std::uint8_t kHostStart = 0x55;
inline constexpr std::uint8_t kDeviceStart = 0xAA;
inline constexpr std::size_t kFrameHeaderSize = 4;
inline constexpr std::size_t kFrameCrcSize = 2;
inline constexpr std::size_t kMaxDataPayload = 1024;
inline constexpr std::size_t kFrameBufferSize = 1100;

inline constexpr std::uint8_t kCmdStep2 = 0x02;
inline constexpr std::uint8_t kCmdStep3 = 0x03;
inline constexpr std::uint8_t kCmdData = 0x04;
inline constexpr std::uint8_t kCmdExtraFile = 0x06;
inline constexpr std::uint8_t kCmdReboot = 0x08;

// Step-6 frame kinds.
inline constexpr std::uint8_t kExtraHeader = 1;
inline constexpr std::uint8_t kExtraData = 2;
inline constexpr std::uint8_t kExtraEnd = 3;

// The boot loader wakes on ten 0x99 bytes, sent bare.
inline constexpr std::size_t kSyncPatternSize = 10;
inline constexpr std::array<std::uint8_t, kSyncPatternSize> kSyncPattern = {
    0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99};

// A reply of step n reads as 0xAA + 256 * n when its first two bytes are taken together.
constexpr std::uint16_t StepReplyId(int step) {
    return static_cast<std::uint16_t>(0xAA + 256 * step);
}

// Offsets in the step-1 reply (chip information).
namespace chipinfo {
inline constexpr std::size_t kStage = 4;  // 2 bytes
inline constexpr std::size_t kCsn = 6;    // 6 bytes
inline constexpr std::size_t kCsnSize = 6;
inline constexpr std::size_t kTiming = 12;    // low byte sync ms, high byte coefficient
inline constexpr std::size_t kChipInfo = 14;  // signed 16-bit chip variant
inline constexpr std::size_t kEsn = 16;       // 16 bytes
inline constexpr std::size_t kEsnSize = 16;
inline constexpr std::size_t kProductTiming = 32;  // replaces kTiming in product stage
inline constexpr std::size_t kEquipmentInfo = 34;  // signed 16-bit
inline constexpr std::size_t kAppVersion = 36;     // signed 16-bit
inline constexpr std::size_t kFieldsEnd = 38;
// The smallest length field that carries every field above.
inline constexpr std::uint16_t kMinLength = kFieldsEnd - 2;
}  // namespace chipinfo

// Byte offset of the status (steps 2 to 6) or eFuse result (step 7) in a reply.
inline constexpr std::size_t kReplyStatusOffset = 4;

// Reply statuses with the same meaning in steps 2 to 6: the frame was taken, or the boot
// loader asks for the same frame again.
inline constexpr int kStatusAccepted = 0;
inline constexpr int kStatusResend = 4;
// In step 4 of key provisioning the boot loader answers 3 once the public key is written;
// in any other run 3 is a failed download.
inline constexpr int kStatusKeyWritten = 3;

inline constexpr std::uint16_t kStageTest = 0x0000;
inline constexpr std::uint16_t kStageDebug = 0x1111;
inline constexpr std::uint16_t kStageProduct = 0x7777;
inline constexpr std::uint16_t kStageScrap = 0xFFFF;

// The length field of a frame.
std::uint16_t FrameLengthField(const std::uint8_t* frame);

// length + 2: the number of bytes the CRC-16 covers.
std::size_t FrameCheckedLength(const std::uint8_t* frame);

// True when the two bytes at n and n + 1 are the CRC-16 of the first n bytes, low byte first.
bool FrameCrcOk(const std::uint8_t* frame, std::size_t n);

// Writes the envelope around a payload already at frame + 4: start, command, length, CRC.
// Returns the whole frame's size.
std::size_t SealFrame(std::uint8_t* frame, std::uint8_t start, std::uint8_t command,
                      std::size_t payloadSize);

}  // namespace ov
