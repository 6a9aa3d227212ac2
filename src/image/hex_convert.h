#pragma once

#include <cstdint>
#include <string>

namespace ov {

// Converts an Intel HEX file into a binary image whose first byte belongs at `baseAddress`:
// 0x00 from the base up to the first record, 0xFF in the holes between records, data below
// the base before the first record at or above it dropped. The output is the HEX path with
// its last three characters replaced by "bin"; its path is stored in `binPath`. The output
// appears whole or not at all.
void ConvertHexToBin(const std::string& hexPath, std::uint32_t baseAddress, std::string& binPath);

inline constexpr const char* kCreateBinFailed = "Failed to create bin file !";
inline constexpr const char* kHexFormatError = "hex file format error !";
inline constexpr const char* kHexTooLarge = "The HEX file makes too large an image";
// The largest image a HEX file may make: far above any OV58xx flash, far below a full disk.
inline constexpr std::uint64_t kMaxHexImageBytes = 256ull * 1024 * 1024;

}  // namespace ov
