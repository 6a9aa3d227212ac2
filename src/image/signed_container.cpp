#include "image/signed_container.h"

#include <cstdlib>
#include <cstring>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "image/signed_download_file.h"
#include "protocol/crc.h"

namespace ov {

namespace {

// strtol base 16 over a two-character group: a group that is missing or not hexadecimal gives 0.
std::uint8_t HexGroup(const std::string& text, std::size_t at) {
    if (at >= text.size()) return 0;
    const std::string group = text.substr(at, 2);
    return static_cast<std::uint8_t>(std::strtol(group.c_str(), nullptr, 16));
}

void PutHeader(std::vector<std::uint8_t>& out, std::uint16_t tag, std::uint32_t length) {
    out.push_back(static_cast<std::uint8_t>(tag >> 8));
    out.push_back(static_cast<std::uint8_t>(tag & 0xFF));
    std::uint8_t len[4];
    PutLittleEndian(len, length, 4);
    out.insert(out.end(), len, len + 4);
}

void PutLe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

bool Is2048(const SignedContainerFields& fields) { return fields.modulus.size() == 256; }

}  // namespace

std::array<std::uint8_t, 16> EsnField(const std::string& text, bool hex) {
    std::array<std::uint8_t, 16> field{};
    if (text.empty()) return field;
    if (!hex) {
        std::string padded = text.size() < 16 ? std::string(16 - text.size(), '0') + text : text;
        std::memcpy(field.data(), padded.data(), 16);
        return field;
    }
    std::string padded = text;
    if (text.size() < 32) {
        const std::size_t pairs = (32 - text.size()) / 2;
        std::string pad;
        for (std::size_t i = 0; i < pairs; ++i) pad += "30";
        padded = pad + text;
    }
    for (std::size_t i = 0; i < 16; ++i) field[i] = HexGroup(padded, 2 * i);
    return field;
}

std::uint32_t OptionWord(const DownloadOptions& options) {
    std::uint32_t word = 0x01000200;
    if (options.unlockFlash) word |= 0x02000000;
    if (options.reserveIv) word |= 0x0C000000;
    if (options.fullErase) word |= 0xF0000000;
    return word;
}

std::uint16_t ParseFirmwareVersion(const std::string& text) {
    return static_cast<std::uint16_t>(std::strtoul(text.c_str(), nullptr, 16) & 0xFFFF);
}

std::vector<std::uint8_t> SignedBlock(const std::uint8_t* digest, std::size_t digestSize,
                                      std::uint32_t imageLength, bool withLength) {
    std::vector<std::uint8_t> block(digest, digest + digestSize);
    if (withLength) PutLe(block, imageLength, 4);
    return block;
}

std::vector<std::uint8_t> BuildKeyRecord(const SignedContainerFields& fields) {
    std::vector<std::uint8_t> out;
    PutHeader(out, kTagKey, Is2048(fields) ? 285 : 541);
    out.push_back(0x55);
    const auto esn = EsnField(fields.esnText, fields.esnHex);
    out.insert(out.end(), esn.begin(), esn.end());
    out.push_back(fields.syncTime);
    out.push_back(fields.timeoutCoefficient);
    PutLe(out, 1, 2);
    out.insert(out.end(), fields.modulus.begin(), fields.modulus.end());
    // The exponent right-aligned in four bytes: 65537 is 00 01 00 01.
    out.insert(out.end(), 4 - std::min<std::size_t>(4, fields.exponent.size()), 0);
    out.insert(out.end(), fields.exponent.end() - std::min<std::ptrdiff_t>(4, fields.exponent.size()),
               fields.exponent.end());
    const std::uint8_t sizeWord[4] = {0, 0, 0, static_cast<std::uint8_t>(Is2048(fields) ? 0 : 1)};
    out.insert(out.end(), sizeWord, sizeWord + 4);
    return out;
}

std::vector<std::uint8_t> BuildSignatureRecord(const SignedContainerFields& fields, std::uint32_t imageLength) {
    std::vector<std::uint8_t> out;
    PutHeader(out, kTagSignature, Is2048(fields) ? 272 : 528);
    const std::size_t contentStart = out.size();
    out.push_back(0x55);
    out.push_back(fields.digestType);
    PutLe(out, ParseFirmwareVersion(fields.versionText), 2);
    PutLe(out, OptionWord(fields.options), 4);
    PutLe(out, imageLength, 4);
    out.insert(out.end(), fields.signature.begin(), fields.signature.end());
    PutLe(out, Crc32(out.data() + contentStart, out.size() - contentStart), 4);
    return out;
}

void WriteSignedContainer(const std::string& outputPath, const SignedContainerFields& fields,
                          const std::string& imagePath) {
    InputFile image(imagePath);
    if (!image.IsOpen()) throw LoaderError("Failed to open the image file: [" + imagePath + "]");
    const auto size = image.Size();
    if (!size || *size > 0xFFFFFFFFull) throw LoaderError("The image file is too large: [" + imagePath + "]");
    const auto imageLength = static_cast<std::uint32_t>(*size);

    AtomicFileWriter out(outputPath);
    if (!out.IsOpen()) throw LoaderError("Failed to create the signed file: [" + outputPath + "]");
    const auto key = BuildKeyRecord(fields);
    const auto sig = BuildSignatureRecord(fields, imageLength);
    std::vector<std::uint8_t> header;
    PutHeader(header, kTagImage, imageLength);
    bool ok = out.Write(key.data(), key.size()) && out.Write(sig.data(), sig.size()) &&
              out.Write(header.data(), header.size());
    std::uint8_t buffer[64 * 1024];
    std::uint64_t left = imageLength;
    while (ok && left > 0) {
        const std::size_t n = image.Read(buffer, static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof(buffer))));
        if (n == 0) throw LoaderError("Failed to read the image file: [" + imagePath + "]");
        ok = out.Write(buffer, n);
        left -= n;
    }
    if (!ok || !out.Commit()) throw LoaderError("Failed to write the signed file: [" + outputPath + "]");
}

}  // namespace ov
