#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/signed_container.h"

namespace ov::test {

// An RSA key made with OpenSSL for a test, and raw (unpadded) signing with it: the reference
// the loader's own signing is compared against.
class TestKey {
  public:
    explicit TestKey(int bits, unsigned exponent = 65537);
    ~TestKey();
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    std::vector<std::uint8_t> Modulus() const;   // S bytes, big-endian
    std::vector<std::uint8_t> Exponent() const;  // minimal big-endian
    // s = m^d mod n of the block right-aligned in S bytes.
    std::vector<std::uint8_t> RawSign(const std::vector<std::uint8_t>& block) const;
    void WritePem(const std::string& privatePath, const std::string& publicPath) const;

  private:
    void* key_;
};

// A signed container made with the test key over an image file: the digest of the image,
// its length for ".sigx", signed raw.
void MakeSignedImage(const TestKey& key, const std::string& imagePath,
                     const std::string& outputPath, bool sigx,
                     std::uint8_t digestType = kDigestSha256);

}  // namespace ov::test
