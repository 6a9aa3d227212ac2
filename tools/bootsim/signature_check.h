#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ov::sim {

// Recovers the block a raw RSA signature covers (s^e mod n), as S big-endian bytes; empty
// when the numbers are unusable.
std::vector<std::uint8_t> RecoverSignedBlock(const std::vector<std::uint8_t>& modulus,
                                             const std::vector<std::uint8_t>& exponent,
                                             const std::vector<std::uint8_t>& signature);

}  // namespace ov::sim
