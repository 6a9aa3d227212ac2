#pragma once

#include <cstddef>
#include <cstdint>

namespace ov {

struct Sha256Context {
    std::uint32_t byteCountLow;  // bytes already compressed, low and high words
    std::uint32_t byteCountHigh;
    std::uint32_t state[8];
    std::uint32_t buffered;  // bytes waiting in block, 0 to 63
    std::uint8_t block[64];
};

inline constexpr std::size_t kSha256Size = 32;

// Each returns 0, or -2 when a pointer argument is null.
int Sha256Init(Sha256Context* context);
int Sha256Update(Sha256Context* context, const std::uint8_t* data, std::size_t length);
int Sha256Final(std::uint8_t* digest, Sha256Context* context);

// Compresses whole 64-byte blocks into state; picks the CPU's SHA instructions when present.
void Sha256Blocks(std::uint32_t state[8], const std::uint8_t* data, std::size_t blockCount);
// The portable compression, always available (tests compare the two).
void Sha256BlocksPortable(std::uint32_t state[8], const std::uint8_t* data, std::size_t blockCount);
bool Sha256HasCpuInstructions();

}  // namespace ov
