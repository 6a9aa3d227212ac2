#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/download_file.h"

namespace ov {

inline constexpr std::uint8_t kDigestSha256 = 1;
inline constexpr std::uint8_t kDigestSha512 = 2;

// What a signed container says about its key and image, besides the image itself.
struct SignedContainerFields {
    std::string esnText;
    bool esnHex = false;
    std::uint8_t syncTime = 100;
    std::uint8_t timeoutCoefficient = 2;
    std::string versionText = "FFFF";  // read as hexadecimal, low 16 bits kept
    std::uint8_t digestType = kDigestSha512;
    DownloadOptions options;
    std::vector<std::uint8_t> modulus;    // big-endian, S bytes (256 or 512)
    std::vector<std::uint8_t> exponent;   // big-endian, at most 4 bytes
    std::vector<std::uint8_t> signature;  // big-endian, S bytes
};

// The 16-byte serial-number field: left-padded with "0" characters, or, as hexadecimal,
// with "30" pairs read as bytes.
std::array<std::uint8_t, 16> EsnField(const std::string& text, bool hex);

// 0x01000200 with the download option bits in its top byte.
std::uint32_t OptionWord(const DownloadOptions& options);

// The firmware version text read as hexadecimal, low 16 bits.
std::uint16_t ParseFirmwareVersion(const std::string& text);

// What the signature covers: the digest, and for ".sigx" the image length after it.
std::vector<std::uint8_t> SignedBlock(const std::uint8_t* digest, std::size_t digestSize,
                                      std::uint32_t imageLength, bool withLength);

// Whole records, header included.
std::vector<std::uint8_t> BuildKeyRecord(const SignedContainerFields& fields);
std::vector<std::uint8_t> BuildSignatureRecord(const SignedContainerFields& fields,
                                               std::uint32_t imageLength);

// Writes key record, signature record and image record atomically; raises LoaderError with
// a message naming the file that failed. Nothing is left behind on failure.
void WriteSignedContainer(const std::string& outputPath, const SignedContainerFields& fields,
                          const std::string& imagePath);

}  // namespace ov
