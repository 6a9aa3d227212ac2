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

#include "common/loader_error.h"
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

// What OpenSSL gave as its reasons for the call that just failed, oldest first; its queue
// is emptied.
std::string OpenSslCause() {
    std::string cause;
    char text[256];
    for (unsigned long e = ERR_get_error(); e != 0; e = ERR_get_error()) {
        ERR_error_string_n(e, text, sizeof(text));
        cause += (cause.empty() ? "" : "; ") + std::string(text);
    }
    return cause;
}

// A PEM key file, read: the key when it holds an RSA key of that kind.
struct KeyFile {
    bool opened = false;  // whether the file could be opened at all
    int error = 0;        // errno when it could not
    PKey key{nullptr, EVP_PKEY_free};
    std::string cause;  // the system's or OpenSSL's reason when there is no key
};

KeyFile ReadKey(const std::string& path, bool privateKey) {
    KeyFile result;
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (!file) {
        result.error = errno;
        result.cause = SystemCause(path);
        return result;
    }
    result.opened = true;
    BIO* bio = BIO_new_fp(file, BIO_CLOSE);
    if (!bio) {
        std::fclose(file);
        result.cause = OpenSslCause();
        return result;
    }
    result.key.reset(privateKey ? PEM_read_bio_PrivateKey(bio, nullptr, NoPassphrase, nullptr)
                                : PEM_read_bio_PUBKEY(bio, nullptr, NoPassphrase, nullptr));
    BIO_free(bio);
    if (!result.key) result.cause = path + ": " + OpenSslCause();
    if (result.key && !IsRsa(result.key.get())) {
        result.key.reset();
        result.cause = path + ": not an RSA key";
    }
    ERR_clear_error();
    return result;
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
    const KeyFile privFile = ReadKey(privatePath, true);
    if (!privFile.opened) return {false, 0, "Failed to open private key file"};
    if (!privFile.key) return {false, 0, "Failed to load private key"};
    const KeyFile pubFile = ReadKey(publicPath, false);
    if (!pubFile.opened) return {false, 0, "Failed to open public key file"};
    if (!pubFile.key) return {false, 0, "Failed to load public key"};
    EVP_PKEY* priv = privFile.key.get();
    EVP_PKEY* pub = pubFile.key.get();
    const int bits = Bits(priv);
    if (bits != Bits(pub)) return {false, 0, "Key size mismatch"};
    if (bits != 2048 && bits != 4096) return {false, 0, "Unsupported key size"};
    const Bn n1 = Param(priv, OSSL_PKEY_PARAM_RSA_N), n2 = Param(pub, OSSL_PKEY_PARAM_RSA_N);
    const Bn e1 = Param(priv, OSSL_PKEY_PARAM_RSA_E), e2 = Param(pub, OSSL_PKEY_PARAM_RSA_E);
    if (!n1 || !n2 || !e1 || !e2 || BN_cmp(n1.get(), n2.get()) != 0 ||
        BN_cmp(e1.get(), e2.get()) != 0)
        return {false, 0, "Keys do not form a valid pair"};
    return {true, bits, ""};
}

std::vector<std::uint8_t> PrivateKeyEncrypt(const std::string& privatePath,
                                            const std::uint8_t* plaintext, std::size_t length,
                                            std::size_t s, DownloadLog& log) {
    Init();
    // The operator sees one text for every way this fails; the log file and the cause say which.
    const auto fail = [s](const std::string& cause) -> LoaderError {
        return LoaderError(std::to_string(s) + "私钥加密异常\n", cause, ErrorKind::Key);
    };
    const KeyFile file = ReadKey(privatePath, true);
    if (!file.opened) {
        log.Line("Failed to open private key file.\n");
        throw fail(file.cause);
    }
    if (!file.key) {
        log.Line("Failed to load private key.\n");
        throw fail(file.cause);
    }
    EVP_PKEY* key = file.key.get();
    if (length > s) throw fail("the data to sign is longer than the key");
    std::vector<std::uint8_t> block(s, 0);
    std::memcpy(block.data() + (s - length), plaintext, length);
    log.Line("padding data:" + HexBytesLower(block.data(), block.size()) + "\n");
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key, nullptr),
                                                                    EVP_PKEY_CTX_free);
    std::vector<std::uint8_t> output(s);
    std::size_t outLength = s;
    if (!ctx || EVP_PKEY_get_size(key) != static_cast<int>(s) ||
        EVP_PKEY_sign_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_NO_PADDING) <= 0 ||
        EVP_PKEY_sign(ctx.get(), output.data(), &outLength, block.data(), block.size()) <= 0 ||
        outLength != s) {
        log.Raw("Encryption failed.\n");
        const std::string cause = OpenSslCause();
        throw fail(cause.empty() ? "the key is not " + std::to_string(8 * s) + " bits" : cause);
    }
    std::string hex = HexBytes(output.data(), s);
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    log.Line("Encrypted data :" + hex + "\n ");
    return output;
}

PublicKey PublicKeyParts(const std::string& publicPath) {
    Init();
    const auto fail = [&publicPath](const std::string& text, const std::string& cause) {
        return LoaderError(text + ": [" + publicPath + "]", cause, ErrorKind::Key);
    };
    const KeyFile file = ReadKey(publicPath, false);
    if (!file.opened)
        throw fail(std::string("Failed to open public key file: ") + std::strerror(file.error),
                   file.cause);
    if (!file.key) throw fail("Failed to load public key", file.cause);
    const Bn n = Param(file.key.get(), OSSL_PKEY_PARAM_RSA_N),
             e = Param(file.key.get(), OSSL_PKEY_PARAM_RSA_E);
    if (!n || !e || BN_num_bytes(e.get()) > 4)
        throw fail("Failed to convert exponent to bytes", OpenSslCause());
    PublicKey result;
    result.modulus.resize(static_cast<std::size_t>(BN_num_bytes(n.get())));
    if (BN_bn2binpad(n.get(), result.modulus.data(), static_cast<int>(result.modulus.size())) < 0)
        throw fail("Failed to convert modulus to bytes", OpenSslCause());
    result.exponent.resize(4);
    if (BN_bn2binpad(e.get(), result.exponent.data(), 4) < 0)
        throw fail("Failed to convert exponent to bytes", OpenSslCause());
    return result;
}

std::vector<std::uint8_t> PublicKeyRecover(const std::string& publicPath,
                                           const std::vector<std::uint8_t>& signature) {
    const KeyFile file = ReadKey(publicPath, false);
    if (!file.key) return {};
    EVP_PKEY* key = file.key.get();
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key, nullptr),
                                                                    EVP_PKEY_CTX_free);
    std::vector<std::uint8_t> block(static_cast<std::size_t>(EVP_PKEY_get_size(key)));
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
    block.insert(block.begin(), static_cast<std::size_t>(EVP_PKEY_get_size(key)) - length, 0);
    return block;
}

}  // namespace ov
