#include "protocol/crc.h"

#include <array>

namespace ov {

std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count) {
    std::uint16_t crc = 0xFFFF;
    if (bytes == nullptr) return crc;
    for (std::size_t i = 0; i < count; ++i) {
        // The table-less form of the boot loader's own code: swap, mix in the byte, then
        // fold the polynomial's taps (x^12, x^5, x^0) in three shifts.
        crc = static_cast<std::uint16_t>((crc >> 8) | (crc << 8));
        crc ^= bytes[i];
        crc ^= static_cast<std::uint16_t>((crc & 0xFF) >> 4);
        crc ^= static_cast<std::uint16_t>(crc << 12);
        crc ^= static_cast<std::uint16_t>((crc & 0xFF) << 5);
    }
    return crc;
}

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrc32Table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i << 24;
        for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
        table[i] = r;
    }
    return table;
}

constexpr auto kCrc32Table = MakeCrc32Table();

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count) {
    if (bytes == nullptr) return crc;
    for (std::size_t i = 0; i < count; ++i) crc = (crc << 8) ^ kCrc32Table[(crc >> 24) ^ bytes[i]];
    return crc;
}

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t count) {
    return Crc32Update(0xFFFFFFFFu, bytes, count);
}

void PutLittleEndian(std::uint8_t* destination, std::uint64_t value, int byteCount) {
    for (int i = 0; i < byteCount; ++i)
        destination[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t GetLittleEndian(const std::uint8_t* source, int byteCount) {
    std::uint64_t value = 0;
    for (int i = byteCount - 1; i >= 0; --i) value = (value << 8) | source[i];
    return value;
}

}  // namespace ov
