#pragma once

#include <cstddef>
#include <cstdint>

namespace ov {

// Frame check: CRC-16/CCITT-FALSE (poly 0x1021, init 0xFFFF, no reflection, no final XOR).
// No bytes, or a null pointer, give 0xFFFF.
std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count);

// Image check: CRC-32/MPEG-2 (poly 0x04C11DB7, init 0xFFFFFFFF, MSB first, no final XOR).
std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t count);

// Continues a CRC-32/MPEG-2 over more bytes; start with 0xFFFFFFFF.
std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count);

// Stores the low `byteCount` bytes of `value`, least significant first.
void PutLittleEndian(std::uint8_t* destination, std::uint64_t value, int byteCount);

// Reads `byteCount` bytes stored least significant first.
std::uint64_t GetLittleEndian(const std::uint8_t* source, int byteCount);

}  // namespace ov
