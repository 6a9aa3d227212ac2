#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ov {

class DownloadLog;

struct KeyPairResult {
    bool valid = false;
    int bits = 0;
    std::string message;
};

// Whether the private and public key files hold one RSA key pair of 2048 or 4096 bits.
KeyPairResult ValidateKeyPair(const std::string& privatePath, const std::string& publicPath);

// The raw private-key operation (no padding) on the plaintext right-aligned in an S-byte
// block: S bytes. Raises LoaderError ("S私钥加密异常", kind Key, with OpenSSL's or the system's
// reason as its cause) when it cannot be done; the log file notes which step failed.
std::vector<std::uint8_t> PrivateKeyEncrypt(const std::string& privatePath,
                                            const std::uint8_t* plaintext, std::size_t length,
                                            std::size_t s, DownloadLog& log);

struct PublicKey {
    std::vector<std::uint8_t> modulus;   // big-endian, as many bytes as it needs
    std::vector<std::uint8_t> exponent;  // big-endian, exactly 4 bytes
};

// The public key's modulus and exponent as the signed image carries them. Raises LoaderError
// (kind Key) naming the file when it cannot be read.
PublicKey PublicKeyParts(const std::string& publicPath);

// s^e mod n with the public key file: the block a raw signature covers, S bytes; empty when
// the key cannot be read or the operation fails.
std::vector<std::uint8_t> PublicKeyRecover(const std::string& publicPath,
                                           const std::vector<std::uint8_t>& signature);

}  // namespace ov
