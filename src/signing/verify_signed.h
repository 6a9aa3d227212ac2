#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ov {

// What a signed container says, record by record.
struct SignedFileInfo {
    bool readable = false;  // the file could be read at all
    std::vector<std::string> layoutProblems;
    std::string esnHex;
    int syncTime = 0;
    int timeoutCoefficient = 0;
    int keyBits = 0;
    std::uint32_t exponent = 0;
    std::string modulusSha256;  // fingerprint of the modulus bytes
    int digestType = 0;
    std::uint16_t version = 0;
    std::uint32_t optionWord = 0;
    std::uint32_t imageLength = 0;
    bool crcOk = false;
    std::vector<std::uint8_t> modulus;
    std::vector<std::uint8_t> exponentBytes;
    std::vector<std::uint8_t> signature;
    std::uint64_t imageOffset = 0;  // in the container the download reads

    std::vector<std::string> OptionNames() const;  // "full erase", "reserve IV", "unlock flash"
};

// Reads the file as a download reads it (a ".sigx_1" is split first), so a file the loader
// refuses shows the loader's message as its only problem.
SignedFileInfo InspectSignedFile(const std::string& path);

struct VerifyReport {
    bool ok = false;
    bool readable = false;  // false: a file could not be read (exit 2 of ov58xx-sign)
    std::string form;       // "sig" or "sigx" when the signature holds
    std::vector<std::string> problems;
    std::string Summary() const;
};

// Layout, CRC-32, image length and the signature recovered with the public key against the
// image's digest (either form).
VerifyReport VerifySignedFile(const std::string& path, const std::string& publicKeyPath);

}  // namespace ov
