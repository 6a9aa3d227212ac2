#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <array>
#include <cstring>

#include "common/loader_error.h"
#include "image/file_digest.h"
#include "image/sha256.h"
#include "image/sha512.h"
#include "support/test_files.h"

namespace ov {
namespace {

std::vector<std::uint8_t> OpenSslDigest(const EVP_MD* md, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), out.data(), &size, md, nullptr);
    out.resize(size);
    return out;
}

// Feeds the data in uneven pieces so every path through the partial block is taken.
std::vector<std::uint8_t> OwnSha256(const std::vector<std::uint8_t>& data) {
    Sha256Context c;
    Sha256Init(&c);
    std::size_t at = 0, piece = 1;
    while (at < data.size()) {
        const std::size_t n = std::min(piece, data.size() - at);
        EXPECT_EQ(Sha256Update(&c, data.data() + at, n), 0);
        at += n;
        piece = piece * 3 % 197 + 1;
    }
    std::vector<std::uint8_t> out(32);
    EXPECT_EQ(Sha256Final(out.data(), &c), 0);
    return out;
}

std::vector<std::uint8_t> OwnSha512(const std::vector<std::uint8_t>& data) {
    Sha512Context c;
    Sha512Init(&c);
    std::size_t at = 0, piece = 1;
    while (at < data.size()) {
        const std::size_t n = std::min(piece, data.size() - at);
        Sha512Update(&c, data.data() + at, n);
        at += n;
        piece = piece * 5 % 293 + 1;
    }
    std::vector<std::uint8_t> out(64);
    Sha512Final(out.data(), &c);
    return out;
}

TEST(Sha, EqualsOpenSslForEveryShortLengthAndBlockBoundaries) {
    const auto data = test::RandomBytes(1025, 7);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
    lengths.insert(lengths.end(), {1023, 1024, 1025});
    for (std::size_t n : lengths) {
        const std::vector<std::uint8_t> piece(data.begin(),
                                              data.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_EQ(OwnSha256(piece), OpenSslDigest(EVP_sha256(), piece)) << "length " << n;
        EXPECT_EQ(OwnSha512(piece), OpenSslDigest(EVP_sha512(), piece)) << "length " << n;
    }
}

TEST(Sha, EqualsOpenSslOnMegabytesThroughContextsAndFiles) {
    test::TempDir dir;
    const auto data = test::RandomBytes(3 * 1024 * 1024 + 77, 11);
    const std::string path = dir.File("big.bin");
    test::WriteBytes(path, data);
    const auto want256 = OpenSslDigest(EVP_sha256(), data);
    const auto want512 = OpenSslDigest(EVP_sha512(), data);
    EXPECT_EQ(OwnSha256(data), want256);
    EXPECT_EQ(OwnSha512(data), want512);
    std::vector<std::uint8_t> got256(32), got512(64);
    Sha256OfFile(path, got256.data());
    Sha512OfFile(path, got512.data());
    EXPECT_EQ(got256, want256);
    EXPECT_EQ(got512, want512);
}

TEST(Sha, PortableAndCpuCompressionAgree) {
    const auto data = test::RandomBytes(64 * 40, 3);
    std::uint32_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8}, b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    Sha256Blocks(a, data.data(), 40);
    Sha256BlocksPortable(b, data.data(), 40);
    EXPECT_EQ(std::memcmp(a, b, sizeof(a)), 0);
    std::uint64_t c[8] = {1, 2, 3, 4, 5, 6, 7, 8}, d[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    Sha512Blocks(c, data.data(), 20);
    Sha512BlocksPortable(d, data.data(), 20);
    EXPECT_EQ(std::memcmp(c, d, sizeof(c)), 0);
    if (!Sha256HasCpuInstructions() || !Sha512HasFastPath())
        GTEST_SKIP() << "this CPU lacks SHA or AVX/BMI2 instructions: only the portable paths ran";
}

TEST(Sha, FileRoutinesPublishedValuesAtBoundaries) {
    test::TempDir dir;
    test::WriteFile(dir.File("empty"), "");
    test::WriteFile(dir.File("abc"), "abc");
    std::uint8_t d256[32], d512[64];
    Sha256OfFile(dir.File("empty"), d256);
    EXPECT_EQ(std::vector<std::uint8_t>(d256, d256 + 32),
              test::FromHex("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    Sha256OfFile(dir.File("abc"), d256);
    EXPECT_EQ(std::vector<std::uint8_t>(d256, d256 + 32),
              test::FromHex("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    Sha512OfFile(dir.File("abc"), d512);
    EXPECT_EQ(std::vector<std::uint8_t>(d512, d512 + 64),
              test::FromHex("ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                            "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"));
    const auto data = test::RandomBytes(1025, 5);
    for (std::size_t n : {55, 56, 63, 64, 111, 112, 127, 128, 1023, 1024, 1025}) {
        const std::vector<std::uint8_t> piece(data.begin(),
                                              data.begin() + static_cast<std::ptrdiff_t>(n));
        test::WriteBytes(dir.File("f"), piece);
        Sha256OfFile(dir.File("f"), d256);
        Sha512OfFile(dir.File("f"), d512);
        EXPECT_EQ(std::vector<std::uint8_t>(d256, d256 + 32), OpenSslDigest(EVP_sha256(), piece))
            << n;
        EXPECT_EQ(std::vector<std::uint8_t>(d512, d512 + 64), OpenSslDigest(EVP_sha512(), piece))
            << n;
    }
}

TEST(Sha, NullArgumentsEmptyUpdatesAndUnopenableFiles) {
    Sha256Context c;
    const std::uint8_t byte = 1;
    EXPECT_EQ(Sha256Init(nullptr), -2);
    EXPECT_EQ(Sha256Update(nullptr, &byte, 1), -2);
    EXPECT_EQ(Sha256Init(&c), 0);
    EXPECT_EQ(Sha256Update(&c, nullptr, 1), -2);
    EXPECT_EQ(Sha256Update(&c, &byte, 1), 0);
    Sha256Context before = c;
    EXPECT_EQ(Sha256Update(&c, &byte, 0), 0);
    EXPECT_EQ(std::memcmp(&before, &c, sizeof(c)), 0);
    EXPECT_EQ(Sha256Final(nullptr, &c), -2);

    std::array<std::uint8_t, 64> digest;
    digest.fill(0x5A);
    try {
        Sha256OfFile("/nonexistent/dir/file.bin", digest.data());
        FAIL() << "no error";
    } catch (const LoaderError& e) {
        EXPECT_STREQ(e.what(), "Failed to open the selected bin file !");
    }
    EXPECT_THROW(Sha512OfFile("/nonexistent/file.bin", digest.data()), LoaderError);
    for (auto b : digest) EXPECT_EQ(b, 0x5A);
}

}  // namespace
}  // namespace ov
