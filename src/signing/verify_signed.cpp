#include "signing/verify_signed.h"

#include <openssl/evp.h>

#include <memory>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "image/signed_download_file.h"
#include "log/text.h"
#include "protocol/crc.h"
#include "signing/rsa_keys.h"

namespace ov {

std::vector<std::string> SignedFileInfo::OptionNames() const {
    std::vector<std::string> names;
    if ((optionWord & 0xF0000000u) == 0xF0000000u) names.push_back("full erase");
    if ((optionWord & 0x0C000000u) == 0x0C000000u) names.push_back("reserve IV");
    if (optionWord & 0x02000000u) names.push_back("unlock flash");
    return names;
}

namespace {

// Reads the file with the download's own reader and describes what it found. Returns the
// reader while its records and image are worth checking further, else nothing.
std::unique_ptr<BaseSignedDownloadFile> ReadSignedFile(const std::string& path,
                                                       SignedFileInfo& info) {
    // InputFile opens only regular files (a FIFO or a device is no signed image).
    if (!InputFile(path).IsOpen()) return nullptr;
    info.readable = true;
    std::unique_ptr<BaseSignedDownloadFile> file;
    try {
        file = OpenSignedFile(path);
    } catch (const LoaderError& e) {
        info.layoutProblems.push_back(e.what());
        return nullptr;
    }
    const SignedRecordSet& records = file->Records();
    info.imageOffset = records.imageOffset;

    // The download carries any key record; what follows is what the boot loader checks in it.
    const std::uint32_t keyLength = records.keyRecordLength;
    if (keyLength != 285 && keyLength != 541) {
        info.layoutProblems.push_back("key record of " + std::to_string(keyLength) +
                                      " bytes (285 or 541 expected)");
        return nullptr;
    }
    const std::vector<std::uint8_t>& key = records.keyRecord;
    const std::size_t s = keyLength - 29;
    info.keyBits = static_cast<int>(s * 8);
    info.esnHex = HexBytesLower(key.data() + 1, 16);
    info.syncTime = key[17];
    info.timeoutCoefficient = key[18];
    info.modulus.assign(key.begin() + 21, key.begin() + 21 + static_cast<std::ptrdiff_t>(s));
    info.exponentBytes.assign(key.begin() + 21 + static_cast<std::ptrdiff_t>(s),
                              key.begin() + 25 + static_cast<std::ptrdiff_t>(s));
    info.exponent =
        static_cast<std::uint32_t>((info.exponentBytes[0] << 24) | (info.exponentBytes[1] << 16) |
                                   (info.exponentBytes[2] << 8) | info.exponentBytes[3]);
    std::uint8_t fingerprint[32];
    unsigned fpSize = 0;
    EVP_Digest(info.modulus.data(), info.modulus.size(), fingerprint, &fpSize, EVP_sha256(),
               nullptr);
    info.modulusSha256 = HexBytesLower(fingerprint, fpSize);
    if (key[0] != 0x55) info.layoutProblems.push_back("key record does not start with 55");
    const std::uint32_t sizeWord =
        static_cast<std::uint32_t>(GetLittleEndian(key.data() + 25 + s, 4));
    if (sizeWord != (s == 256 ? 0u : 0x01000000u))
        info.layoutProblems.push_back("key-size word does not match the key");

    const std::uint32_t sigLength = records.signatureRecordLength;
    if (sigLength != s + 16) {
        info.layoutProblems.push_back("signature record of " + std::to_string(sigLength) +
                                      " bytes (" + std::to_string(s + 16) + " expected)");
        return nullptr;
    }
    const std::vector<std::uint8_t>& sig = records.signatureRecord;
    info.digestType = sig[1];
    info.version = static_cast<std::uint16_t>(GetLittleEndian(sig.data() + 2, 2));
    info.optionWord = Le32(sig.data() + 4);
    info.imageLength = Le32(sig.data() + 8);
    info.signature.assign(sig.begin() + 12, sig.begin() + 12 + static_cast<std::ptrdiff_t>(s));
    info.crcOk = Crc32(sig.data(), s + 12) == Le32(sig.data() + s + 12);
    if (sig[0] != 0x55) info.layoutProblems.push_back("signature record does not start with 55");
    if (info.digestType != 1 && info.digestType != 2)
        info.layoutProblems.push_back("unknown digest type");
    return file;
}

}  // namespace

SignedFileInfo InspectSignedFile(const std::string& path) {
    SignedFileInfo info;
    ReadSignedFile(path, info);
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
    SignedFileInfo info;
    const std::unique_ptr<BaseSignedDownloadFile> file = ReadSignedFile(path, info);
    if (!info.readable) {
        report.problems.push_back("cannot read " + path);
        return report;
    }
    PublicKey key;
    try {
        key = PublicKeyParts(publicKeyPath);
    } catch (const LoaderError&) {
        report.problems.push_back("cannot read the public key " + publicKeyPath);
        return report;
    }
    report.readable = true;
    report.problems = info.layoutProblems;
    if (!file) return report;
    if (!info.crcOk) report.problems.push_back("signature record CRC-32 wrong");
    std::vector<std::uint8_t> modulus(
        info.modulus.size() - std::min(info.modulus.size(), key.modulus.size()), 0);
    modulus.insert(modulus.end(), key.modulus.begin(), key.modulus.end());
    if (modulus != info.modulus || key.exponent != info.exponentBytes)
        report.problems.push_back("the file carries another public key");

    // The digest of the very data frames a download would send.
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(ctx.get(), info.digestType == 1 ? EVP_sha256() : EVP_sha512(), nullptr);
    try {
        while (file->BytesSent() < file->ImageLength()) {
            file->BuildDataFrame();
            EVP_DigestUpdate(ctx.get(), file->Frame() + kFrameHeaderSize,
                             file->FrameSize() - kFrameHeaderSize - kFrameCrcSize);
        }
    } catch (const LoaderError& e) {
        report.problems.push_back(e.what());
        return report;
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
            for (int i = 0; i < 4; ++i)
                content.push_back(static_cast<std::uint8_t>(info.imageLength >> (8 * i)));
        std::copy(content.begin(), content.end(),
                  b.end() - static_cast<std::ptrdiff_t>(content.size()));
        return b;
    };
    if (!recovered.empty() && recovered == block(true))
        report.form = "sigx";
    else if (!recovered.empty() && recovered == block(false))
        report.form = "sig";
    else
        report.problems.push_back("the signature does not match the image");
    report.ok = report.problems.empty();
    return report;
}

}  // namespace ov
