#pragma once

#include <cstdint>
#include <string>

namespace ov {

// The digest of a whole file, read in pieces. A file that cannot be opened raises
// "Failed to open the selected bin file !" and leaves `digest` untouched.
void Sha256OfFile(const std::string& path, std::uint8_t* digest);  // 32 bytes
void Sha512OfFile(const std::string& path, std::uint8_t* digest);  // 64 bytes

inline constexpr const char* kOpenBinFailed = "Failed to open the selected bin file !";

}  // namespace ov
