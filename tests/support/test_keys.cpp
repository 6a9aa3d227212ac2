#include "support/test_keys.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <stdexcept>

#include "support/test_files.h"

namespace ov::test {

namespace {
EVP_PKEY* Key(void* k) { return static_cast<EVP_PKEY*>(k); }

std::vector<std::uint8_t> Param(EVP_PKEY* key, const char* name, std::size_t size) {
    BIGNUM* bn = nullptr;
    if (!EVP_PKEY_get_bn_param(key, name, &bn)) throw std::runtime_error("key parameter");
    if (size == 0) size = static_cast<std::size_t>(BN_num_bytes(bn));
    std::vector<std::uint8_t> out(size);
    BN_bn2binpad(bn, out.data(), static_cast<int>(size));
    BN_free(bn);
    return out;
}
}  // namespace

TestKey::TestKey(int bits, unsigned exponent) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* key = nullptr;
    BIGNUM* e = BN_new();
    BN_set_word(e, exponent);
    if (!ctx || EVP_PKEY_keygen_init(ctx) <= 0 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, bits) <= 0 ||
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx, e) <= 0 || EVP_PKEY_keygen(ctx, &key) <= 0)
        throw std::runtime_error("RSA key generation failed");
    BN_free(e);
    EVP_PKEY_CTX_free(ctx);
    key_ = key;
}

TestKey::~TestKey() { EVP_PKEY_free(Key(key_)); }

std::vector<std::uint8_t> TestKey::Modulus() const {
    return Param(Key(key_), OSSL_PKEY_PARAM_RSA_N,
                 static_cast<std::size_t>(EVP_PKEY_get_size(Key(key_))));
}

std::vector<std::uint8_t> TestKey::Exponent() const {
    return Param(Key(key_), OSSL_PKEY_PARAM_RSA_E, 0);
}

std::vector<std::uint8_t> TestKey::RawSign(const std::vector<std::uint8_t>& block) const {
    const std::size_t s = static_cast<std::size_t>(EVP_PKEY_get_size(Key(key_)));
    std::vector<std::uint8_t> padded(s, 0);
    std::copy(block.begin(), block.end(), padded.end() - static_cast<std::ptrdiff_t>(block.size()));
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(Key(key_), nullptr);
    std::vector<std::uint8_t> sig(s);
    std::size_t size = s;
    if (!ctx || EVP_PKEY_sign_init(ctx) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING) <= 0 ||
        EVP_PKEY_sign(ctx, sig.data(), &size, padded.data(), padded.size()) <= 0)
        throw std::runtime_error("raw RSA signing failed");
    EVP_PKEY_CTX_free(ctx);
    sig.resize(size);
    return sig;
}

void TestKey::WritePem(const std::string& privatePath, const std::string& publicPath) const {
    FILE* f = std::fopen(privatePath.c_str(), "w");
    PEM_write_PrivateKey(f, Key(key_), nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(f);
    f = std::fopen(publicPath.c_str(), "w");
    PEM_write_PUBKEY(f, Key(key_));
    std::fclose(f);
}

void MakeSignedImage(const TestKey& key, const std::string& imagePath,
                     const std::string& outputPath, bool sigx, std::uint8_t digestType) {
    const auto image = ReadBytes(imagePath);
    std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned size = 0;
    EVP_Digest(image.data(), image.size(), digest.data(), &size,
               digestType == kDigestSha256 ? EVP_sha256() : EVP_sha512(), nullptr);
    digest.resize(size);
    SignedContainerFields fields;
    fields.modulus = key.Modulus();
    fields.exponent = key.Exponent();
    fields.digestType = digestType;
    fields.signature = key.RawSign(
        SignedBlock(digest.data(), digest.size(), static_cast<std::uint32_t>(image.size()), sigx));
    WriteSignedContainer(outputPath, fields, imagePath);
}

}  // namespace ov::test
