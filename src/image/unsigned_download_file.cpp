#include "common/file_util.h"
#include "common/loader_error.h"
#include "image/download_file.h"
#include "image/file_digest.h"
#include "image/hex_convert.h"
#include "protocol/crc.h"

namespace ov {

void BaseUnSignedDownloadFile::AppendStep2Body() { AppendZeros(285); }

void BaseUnSignedDownloadFile::AppendStep3Body(const DownloadOptions* options) {
    // The same layout as a signed image's signature record: options in the top byte of the
    // option word, the length, the digest where the signature sits, and a CRC-32 over it all.
    const std::size_t bodyStart = framePos;
    AppendZeros(7);
    frame[framePos++] = options != nullptr ? DownloadOptionBits(*options) : 0;
    PutLittleEndian(frame.data() + framePos, imageLength, 4);
    framePos += 4;
    Append(imageDigest.data(), imageDigest.size());
    const std::uint32_t crc = Crc32(frame.data() + bodyStart, framePos - bodyStart);
    PutLittleEndian(frame.data() + framePos, crc, 4);
    framePos += 4;
}

void BaseUnSignedDownloadFile::PrepareUnsignedImage(const std::string& path) {
    const auto size = FileSize(path);
    if (!size) throw LoaderError(ErrorKind::Image, kOpenBinFailed);
    // The image length travels as 32 bits; a larger file would be cut without a word.
    if (*size > 0xFFFFFFFFull)
        throw LoaderError(ErrorKind::Image, "The firmware file is too large: [" + path + "]");
    imageLength = static_cast<std::uint32_t>(*size);
    Sha256OfFile(path, imageDigest.data());
}

void HexDownloadFile::LoadImage() {
    ConvertHexToBin(sourcePath, kImageBaseAddress, convertedPath);
    PrepareUnsignedImage(convertedPath);
}

}  // namespace ov
