#pragma once

#include <cstddef>
#include <cstdint>

namespace ov {

struct Sha512Context {
    std::uint64_t bitCountHigh;  // 128-bit count of message bits, high word first
    std::uint64_t bitCountLow;
    std::uint64_t state[8];
    std::uint8_t block[128];  // waiting bytes: (bitCountLow / 8) mod 128
};

inline constexpr std::size_t kSha512Size = 64;

void Sha512Init(Sha512Context* context);
void Sha512Update(Sha512Context* context, const std::uint8_t* data, std::uint64_t length);
// Compresses whole 128-byte blocks; uses AVX and BMI2 where the CPU has them.
void Sha512Blocks(std::uint64_t state[8], const std::uint8_t* data, std::size_t blockCount);
// The portable compression, always available (tests compare the two).
void Sha512BlocksPortable(std::uint64_t state[8], const std::uint8_t* data, std::size_t blockCount);
bool Sha512HasFastPath();

// Pads, absorbs the bit count and writes the 64-byte digest.
void Sha512Final(std::uint8_t* digest, Sha512Context* context);

}  // namespace ov
