#include "signing/verify_signed.h"

#include <openssl/evp.h>

#include <fstream>

#include "common/file_util.h"
#include "image/signed_download_file.h"
#include "log/text.h"
#include "protocol/crc.h"
#include "signing/rsa_keys.h"

namespace ov {

namespace {

std::uint32_t Le32(const std::uint8_t* p) { return static_cast<std::uint32_t>(GetLittleEndian(p, 4)); }

}  // namespace

std::vector<std::string> SignedFileInfo::OptionNames() const {
    std::vector<std::string> names;
    if ((optionWord & 0xF0000000u) == 0xF0000000u) names.push_back("full erase");
    if ((optionWord & 0x0C000000u) == 0x0C000000u) names.push_back("reserve IV");
    if (optionWord & 0x02000000u) names.push_back("unlock flash");
    return names;
}

SignedFileInfo InspectSignedFile(const std::string& path) {
    SignedFileInfo info;
    info.imagePath = path;
    InputFile file(path);
    if (!file.IsOpen()) return info;
    info.readable = true;
    const std::uint64_t size = file.Size().value_or(0);
    std::uint8_t header[kRecordHeaderSize];
    auto tagOf = [](const std::uint8_t* h) { return h[0] * 256 + h[1]; };

    if (file.ReadAt(0, header, 6) != 6 || tagOf(header) != kTagKey) {
        info.layoutProblems.push_back("no key record at the start");
        return info;
    }
    const std::uint32_t keyLength = Le32(header + 2);
    if (keyLength != 285 && keyLength != 541) {
        info.layoutProblems.push_back("key record of " + std::to_string(keyLength) + " bytes (285 or 541 expected)");
        return info;
    }
    std::vector<std::uint8_t> key(keyLength);
    if (file.ReadAt(6, key.data(), keyLength) != keyLength) {
        info.layoutProblems.push_back("key record cut short");
        return info;
    }
    const std::size_t s = keyLength - 29;
    info.keyBits = static_cast<int>(s * 8);
    info.esnHex = HexBytesLower(key.data() + 1, 16);
    info.syncTime = key[17];
    info.timeoutCoefficient = key[18];
    info.modulus.assign(key.begin() + 21, key.begin() + 21 + static_cast<std::ptrdiff_t>(s));
    info.exponentBytes.assign(key.begin() + 21 + static_cast<std::ptrdiff_t>(s), key.begin() + 25 + static_cast<std::ptrdiff_t>(s));
    info.exponent = static_cast<std::uint32_t>((info.exponentBytes[0] << 24) | (info.exponentBytes[1] << 16) |
                                               (info.exponentBytes[2] << 8) | info.exponentBytes[3]);
    std::uint8_t fingerprint[32];
    unsigned fpSize = 0;
    EVP_Digest(info.modulus.data(), info.modulus.size(), fingerprint, &fpSize, EVP_sha256(), nullptr);
    info.modulusSha256 = HexBytesLower(fingerprint, fpSize);
    if (key[0] != 0x55) info.layoutProblems.push_back("key record does not start with 55");
    const std::uint32_t sizeWord = static_cast<std::uint32_t>(GetLittleEndian(key.data() + 25 + s, 4));
    if (sizeWord != (s == 256 ? 0u : 0x01000000u)) info.layoutProblems.push_back("key-size word does not match the key");

    const std::uint64_t sigAt = 6 + keyLength;
    if (file.ReadAt(sigAt, header, 6) != 6 || tagOf(header) != kTagSignature) {
        info.layoutProblems.push_back("no signature record after the key record");
        return info;
    }
    const std::uint32_t sigLength = Le32(header + 2);
    if (sigLength != s + 16) {
        info.layoutProblems.push_back("signature record of " + std::to_string(sigLength) + " bytes (" +
                                      std::to_string(s + 16) + " expected)");
        return info;
    }
    std::vector<std::uint8_t> sig(sigLength);
    if (file.ReadAt(sigAt + 6, sig.data(), sigLength) != sigLength) {
        info.layoutProblems.push_back("signature record cut short");
        return info;
    }
    info.digestType = sig[1];
    info.version = static_cast<std::uint16_t>(GetLittleEndian(sig.data() + 2, 2));
    info.optionWord = Le32(sig.data() + 4);
    info.imageLength = Le32(sig.data() + 8);
    info.signature.assign(sig.begin() + 12, sig.begin() + 12 + static_cast<std::ptrdiff_t>(s));
    info.crcOk = Crc32(sig.data(), s + 12) == Le32(sig.data() + s + 12);
    if (sig[0] != 0x55) info.layoutProblems.push_back("signature record does not start with 55");
    if (info.digestType != 1 && info.digestType != 2) info.layoutProblems.push_back("unknown digest type");

    const std::uint64_t imageAt = sigAt + 6 + sigLength;
    if (file.ReadAt(imageAt, header, 6) != 6 || tagOf(header) != kTagImage) {
        info.layoutProblems.push_back("no image record after the signature record");
        return info;
    }
    const std::uint32_t imageRecord = Le32(header + 2);
    info.imageOffset = imageAt + 6;
    info.imageBytesPresent = size > info.imageOffset ? size - info.imageOffset : 0;
    if (imageRecord != info.imageLength)
        info.layoutProblems.push_back("image record of " + std::to_string(imageRecord) + " bytes, signature record says " +
                                      std::to_string(info.imageLength));
    if (info.imageBytesPresent != imageRecord)
        info.layoutProblems.push_back("file holds " + std::to_string(info.imageBytesPresent) + " image bytes, the record says " +
                                      std::to_string(imageRecord));
    return info;
}

std::string VerifyReport::Summary() const {
    if (ok) return "signature ok (" + form + " form)";
    std::string text;
    for (const auto& p : problems) text += (text.empty() ? "" : "; ") + p;
    return text;
}

VerifyReport VerifySignedFile(const std::string& path, const std::string& publicKeyPath) {
    VerifyReport report;
    const SignedFileInfo info = InspectSignedFile(path);
    if (!info.readable) {
        report.problems.push_back("cannot read " + path);
        return report;
    }
    const PublicKey key = PublicKeyParts(publicKeyPath);
    if (!key.ok) {
        report.problems.push_back("cannot read the public key " + publicKeyPath);
        return report;
    }
    report.readable = true;
    report.problems = info.layoutProblems;
    if (info.signature.empty()) return report;
    if (!info.crcOk) report.problems.push_back("signature record CRC-32 wrong");
    std::vector<std::uint8_t> modulus(info.modulus.size() - std::min(info.modulus.size(), key.modulus.size()), 0);
    modulus.insert(modulus.end(), key.modulus.begin(), key.modulus.end());
    if (modulus != info.modulus || key.exponent != info.exponentBytes)
        report.problems.push_back("the file carries another public key");

    // The image's digest, from the file itself.
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(ctx.get(), info.digestType == 1 ? EVP_sha256() : EVP_sha512(), nullptr);
    InputFile file(path);
    std::vector<std::uint8_t> buffer(64 * 1024);
    std::uint64_t at = info.imageOffset, left = info.imageBytesPresent;
    while (left > 0) {
        const std::size_t n = file.ReadAt(at, buffer.data(), static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size())));
        if (n == 0) break;
        EVP_DigestUpdate(ctx.get(), buffer.data(), n);
        at += n;
        left -= n;
    }
    std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned digestSize = 0;
    EVP_DigestFinal_ex(ctx.get(), digest.data(), &digestSize);
    digest.resize(digestSize);

    const std::vector<std::uint8_t> recovered = PublicKeyRecover(publicKeyPath, info.signature);
    auto block = [&](bool withLength) {
        std::vector<std::uint8_t> b(info.signature.size(), 0);
        std::vector<std::uint8_t> content = digest;
        if (withLength)
            for (int i = 0; i < 4; ++i) content.push_back(static_cast<std::uint8_t>(info.imageLength >> (8 * i)));
        std::copy(content.begin(), content.end(), b.end() - static_cast<std::ptrdiff_t>(content.size()));
        return b;
    };
    if (!recovered.empty() && recovered == block(true)) report.form = "sigx";
    else if (!recovered.empty() && recovered == block(false)) report.form = "sig";
    else report.problems.push_back("the signature does not match the image");
    report.ok = report.problems.empty();
    return report;
}

}  // namespace ov
