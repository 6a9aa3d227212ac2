#include "bootsim/signature_check.h"

#include <openssl/bn.h>

#include <memory>

namespace ov::sim {

std::vector<std::uint8_t> RecoverSignedBlock(const std::vector<std::uint8_t>& modulus,
                                             const std::vector<std::uint8_t>& exponent,
                                             const std::vector<std::uint8_t>& signature) {
    // The chip's check is plain modular exponentiation with the public key.
    using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;
    Bn n(BN_bin2bn(modulus.data(), static_cast<int>(modulus.size()), nullptr), BN_free);
    Bn e(BN_bin2bn(exponent.data(), static_cast<int>(exponent.size()), nullptr), BN_free);
    Bn s(BN_bin2bn(signature.data(), static_cast<int>(signature.size()), nullptr), BN_free);
    Bn m(BN_new(), BN_free);
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
    if (!n || !e || !s || !m || !ctx || BN_is_zero(n.get()) || BN_cmp(s.get(), n.get()) >= 0)
        return {};
    if (!BN_mod_exp(m.get(), s.get(), e.get(), n.get(), ctx.get())) return {};
    std::vector<std::uint8_t> block(modulus.size());
    if (BN_bn2binpad(m.get(), block.data(), static_cast<int>(block.size())) < 0) return {};
    return block;
}

}  // namespace ov::sim
