#include "image/file_digest.h"

#include <cstdio>
#include <vector>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "image/sha256.h"
#include "image/sha512.h"

namespace ov {

namespace {

// Large pieces keep the hash fed; memory stays the same whatever the file's size.
constexpr std::size_t kPiece = 64 * 1024;

template <typename Absorb>
void ReadWholeFile(const std::string& path, Absorb absorb) {
    InputFile file(path);
    if (!file.IsOpen()) throw LoaderError(ErrorKind::Image, kOpenBinFailed);
    std::vector<std::uint8_t> buffer(kPiece);
    for (;;) {
        const std::size_t got = file.Read(buffer.data(), buffer.size());
        if (got > 0) absorb(buffer.data(), got);
        if (got < buffer.size()) break;
    }
    if (file.Failed())
        throw LoaderError(ErrorKind::Image, "Failed to read the file: [" + path + "]");
}

}  // namespace

void Sha256OfFile(const std::string& path, std::uint8_t* digest) {
    Sha256Context context;
    Sha256Init(&context);
    ReadWholeFile(
        path, [&](const std::uint8_t* data, std::size_t n) { Sha256Update(&context, data, n); });
    Sha256Final(digest, &context);
}

void Sha512OfFile(const std::string& path, std::uint8_t* digest) {
    Sha512Context context;
    Sha512Init(&context);
    ReadWholeFile(
        path, [&](const std::uint8_t* data, std::size_t n) { Sha512Update(&context, data, n); });
    Sha512Final(digest, &context);
}

}  // namespace ov
