#include "signing/rsa_keys.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "log/download_log.h"
#include "log/text.h"

namespace ov {

namespace {

using PKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

// A key file protected by a pass phrase is refused, never asked about on the terminal.
int NoPassphrase(char*, int, int, void*) { return -1; }

void Init() {
    OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_CIPHERS | OPENSSL_INIT_ADD_ALL_DIGESTS, nullptr);
}

bool IsRsa(const EVP_PKEY* key) { return key && EVP_PKEY_is_a(key, "RSA"); }

// Reads a PEM key; nullptr when the file holds none of that kind. `opened` tells whether the
// file could be opened at all.
PKey ReadKey(const std::string& path, bool privateKey, bool& opened) {
    PKey key(nullptr, EVP_PKEY_free);
    std::FILE* file = std::fopen(path.c_str(), "re");
    opened = file != nullptr;
    if (!file) return key;
    BIO* bio = BIO_new_fp(file, BIO_CLOSE);
    if (!bio) {
        std::fclose(file);
        return key;
    }
    key.reset(privateKey ? PEM_read_bio_PrivateKey(bio, nullptr, NoPassphrase, nullptr)
                         : PEM_read_bio_PUBKEY(bio, nullptr, NoPassphrase, nullptr));
    BIO_free(bio);
    if (key && !IsRsa(key.get())) key.reset();
    ERR_clear_error();
    return key;
}

Bn Param(const EVP_PKEY* key, const char* name) {
    BIGNUM* bn = nullptr;
    EVP_PKEY_get_bn_param(key, name, &bn);
    return Bn(bn, BN_free);
}

int Bits(const EVP_PKEY* key) { return 8 * EVP_PKEY_get_size(key); }

}  // namespace

KeyPairResult ValidateKeyPair(const std::string& privatePath, const std::string& publicPath) {
    Init();
    KeyPairResult result;
    bool opened = false;
    PKey priv = ReadKey(privatePath, true, opened);
    if (!opened) return {false, 0, "Failed to open private key file"};
    if (!priv) return {false, 0, "Failed to load private key"};
    PKey pub = ReadKey(publicPath, false, opened);
    if (!opened) return {false, 0, "Failed to open public key file"};
    if (!pub) return {false, 0, "Failed to load public key"};
    const int bits = Bits(priv.get());
    if (bits != Bits(pub.get())) return {false, 0, "Key size mismatch"};
    if (bits != 2048 && bits != 4096) return {false, 0, "Unsupported key size"};
    const Bn n1 = Param(priv.get(), OSSL_PKEY_PARAM_RSA_N),
             n2 = Param(pub.get(), OSSL_PKEY_PARAM_RSA_N);
    const Bn e1 = Param(priv.get(), OSSL_PKEY_PARAM_RSA_E),
             e2 = Param(pub.get(), OSSL_PKEY_PARAM_RSA_E);
    if (!n1 || !n2 || !e1 || !e2 || BN_cmp(n1.get(), n2.get()) != 0 ||
        BN_cmp(e1.get(), e2.get()) != 0)
        return {false, 0, "Keys do not form a valid pair"};
    return {true, bits, ""};
}

bool PrivateKeyEncrypt(const std::string& privatePath, const std::uint8_t* plaintext,
                       std::size_t length, std::uint8_t* output, std::size_t s, DownloadLog& log) {
    Init();
    bool opened = false;
    PKey key = ReadKey(privatePath, true, opened);
    if (!opened) {
        log.Line("Failed to open private key file.\n");
        return false;
    }
    if (!key) {
        log.Line("Failed to load private key.\n");
        return false;
    }
    if (length > s) return false;
    std::vector<std::uint8_t> block(s, 0);
    std::memcpy(block.data() + (s - length), plaintext, length);
    log.Line("padding data:" + HexBytesLower(block.data(), block.size()) + "\n");
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
    std::size_t outLength = s;
    if (!ctx || EVP_PKEY_get_size(key.get()) != static_cast<int>(s) ||
        EVP_PKEY_sign_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_NO_PADDING) <= 0 ||
        EVP_PKEY_sign(ctx.get(), output, &outLength, block.data(), block.size()) <= 0 ||
        outLength != s) {
        log.Raw("Encryption failed.\n");
        ERR_print_errors_fp(stderr);
        return false;
    }
    std::string hex = HexBytes(output, s);
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    log.Line("Encrypted data :" + hex + "\n ");
    return true;
}

PublicKey PublicKeyParts(const std::string& publicPath) {
    Init();
    PublicKey result;
    bool opened = false;
    PKey key = ReadKey(publicPath, false, opened);
    if (!opened) {
        result.error = std::string("Failed to open public key file: ") + std::strerror(errno);
        std::fprintf(stderr, "%s\n", result.error.c_str());
        return result;
    }
    if (!key) {
        result.error = "Failed to load public key";
        ERR_print_errors_fp(stderr);
        return result;
    }
    const Bn n = Param(key.get(), OSSL_PKEY_PARAM_RSA_N),
             e = Param(key.get(), OSSL_PKEY_PARAM_RSA_E);
    if (!n || !e || BN_num_bytes(e.get()) > 4) {
        result.error = "Failed to convert exponent to bytes";
        return result;
    }
    result.modulus.resize(static_cast<std::size_t>(BN_num_bytes(n.get())));
    if (BN_bn2binpad(n.get(), result.modulus.data(), static_cast<int>(result.modulus.size())) < 0) {
        result.error = "Failed to convert modulus to bytes";
        return result;
    }
    result.exponent.resize(4);
    if (BN_bn2binpad(e.get(), result.exponent.data(), 4) < 0) {
        result.error = "Failed to convert exponent to bytes";
        return result;
    }
    result.ok = true;
    return result;
}

std::vector<std::uint8_t> PublicKeyRecover(const std::string& publicPath,
                                           const std::vector<std::uint8_t>& signature) {
    bool opened = false;
    PKey key = ReadKey(publicPath, false, opened);
    if (!key) return {};
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
    std::vector<std::uint8_t> block(static_cast<std::size_t>(EVP_PKEY_get_size(key.get())));
    std::size_t length = block.size();
    if (!ctx || EVP_PKEY_verify_recover_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_NO_PADDING) <= 0 ||
        EVP_PKEY_verify_recover(ctx.get(), block.data(), &length, signature.data(),
                                signature.size()) <= 0) {
        ERR_clear_error();
        return {};
    }
    // Right-aligned in S bytes, as the block was signed.
    block.resize(length);
    block.insert(block.begin(), static_cast<std::size_t>(EVP_PKEY_get_size(key.get())) - length, 0);
    return block;
}

}  // namespace ov
