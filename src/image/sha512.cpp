#include "image/sha512.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#define OV_SHA512_X86 1
#endif

namespace ov {

namespace {

constexpr std::uint64_t kRound[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc,
    0x3956c25bf348b538, 0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118,
    0xd807aa98a3030242, 0x12835b0145706fbe, 0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2,
    0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235, 0xc19bf174cf692694,
    0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5,
    0x983e5152ee66dfab, 0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4,
    0xc6e00bf33da88fc2, 0xd5a79147930aa725, 0x06ca6351e003826f, 0x142929670a0e6e70,
    0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed, 0x53380d139d95b3df,
    0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30,
    0xd192e819d6ef5218, 0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8,
    0x19a4c116b8d2d0c8, 0x1e376c085141ab53, 0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8,
    0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373, 0x682e6ff3d6b2b8a3,
    0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b,
    0xca273eceea26619c, 0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178,
    0x06f067aa72176fba, 0x0a637dc5a2c898a6, 0x113f9804bef90dae, 0x1b710b35131c471b,
    0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc, 0x431d67c49c100d4c,
    0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817};

constexpr std::uint64_t kInitial[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                       0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                       0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};

constexpr std::uint64_t Rotr(std::uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

// The end of a block: the working variables added into the hash state.
inline void AddWorkingVariables(std::uint64_t state[8], std::uint64_t a, std::uint64_t b,
                                std::uint64_t c, std::uint64_t d, std::uint64_t e, std::uint64_t f,
                                std::uint64_t g, std::uint64_t h) {
    const std::uint64_t working[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i) state[i] += working[i];
}

inline std::uint64_t LoadBigEndian(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

// The rotations nested, rotr(a, 28) ^ rotr(a, 34) ^ rotr(a, 39) = rotr(a ^ rotr(a ^ rotr(a, 5), 6),
// 28): x86's two-operand rotate then needs one copy instead of three.
inline std::uint64_t Sigma0(std::uint64_t a) { return Rotr(a ^ Rotr(a ^ Rotr(a, 5), 6), 28); }
inline std::uint64_t Sigma1(std::uint64_t e) { return Rotr(e ^ Rotr(e ^ Rotr(e, 23), 4), 14); }
// With BMI2's three-operand rotate the copies cost nothing and the flat form is the shorter
// chain: three rotations side by side, then two exclusive ors.
inline std::uint64_t Sigma0Flat(std::uint64_t a) { return Rotr(a, 28) ^ Rotr(a, 34) ^ Rotr(a, 39); }
inline std::uint64_t Sigma1Flat(std::uint64_t e) { return Rotr(e, 14) ^ Rotr(e, 18) ^ Rotr(e, 41); }
inline std::uint64_t Gamma0(std::uint64_t w) { return Rotr(w ^ Rotr(w, 7), 1) ^ (w >> 7); }
inline std::uint64_t Gamma1(std::uint64_t w) { return Rotr(w ^ Rotr(w, 42), 19) ^ (w >> 6); }

// One round with the working variables renamed instead of moved: after eight rounds every
// variable is back in its place, so the compiler keeps all of them in registers. Maj reuses
// the previous round's a ^ b as this round's b ^ c.
#define OV_SHA512_ROUND(a, b, c, d, e, f, g, h, wk, bc, ab)                     \
    do {                                                                        \
        const std::uint64_t t1 = h + OV_SIGMA1(e) + (((f ^ g) & e) ^ g) + (wk); \
        ab = a ^ b;                                                             \
        d += t1;                                                                \
        h = t1 + OV_SIGMA0(a) + ((ab & bc) ^ b);                                \
    } while (0)

#define OV_SHA512_EIGHT(i, W)                                              \
    OV_SHA512_ROUND(a, b, c, d, e, f, g, h, kRound[(i) + 0] + W(0), x, y); \
    OV_SHA512_ROUND(h, a, b, c, d, e, f, g, kRound[(i) + 1] + W(1), y, x); \
    OV_SHA512_ROUND(g, h, a, b, c, d, e, f, kRound[(i) + 2] + W(2), x, y); \
    OV_SHA512_ROUND(f, g, h, a, b, c, d, e, kRound[(i) + 3] + W(3), y, x); \
    OV_SHA512_ROUND(e, f, g, h, a, b, c, d, kRound[(i) + 4] + W(4), x, y); \
    OV_SHA512_ROUND(d, e, f, g, h, a, b, c, kRound[(i) + 5] + W(5), y, x); \
    OV_SHA512_ROUND(c, d, e, f, g, h, a, b, kRound[(i) + 6] + W(6), x, y); \
    OV_SHA512_ROUND(b, c, d, e, f, g, h, a, kRound[(i) + 7] + W(7), y, x)

#ifdef OV_SHA512_X86
__attribute__((target("avx,bmi,bmi2"))) inline __m128i Ror64(__m128i x, int n) {
    return _mm_or_si128(_mm_srli_epi64(x, n), _mm_slli_epi64(x, 64 - n));
}

// W[t..t+1] = s1(W[t-2..t-1]) + W[t-7..t-6] + s0(W[t-15..t-14]) + W[t-16..t-15], for pair p.
#define OV_SHA512_SCHEDULE(j, p)                                                                \
    do {                                                                                        \
        const __m128i w15 = _mm_alignr_epi8(w[((p) + 1) & 7], w[p], 8);                         \
        const __m128i w7 = _mm_alignr_epi8(w[((p) + 5) & 7], w[((p) + 4) & 7], 8);              \
        const __m128i w2 = w[((p) + 7) & 7];                                                    \
        const __m128i s0 =                                                                      \
            _mm_xor_si128(_mm_xor_si128(Ror64(w15, 1), Ror64(w15, 8)), _mm_srli_epi64(w15, 7)); \
        const __m128i s1 =                                                                      \
            _mm_xor_si128(_mm_xor_si128(Ror64(w2, 19), Ror64(w2, 61)), _mm_srli_epi64(w2, 6));  \
        w[p] = _mm_add_epi64(_mm_add_epi64(w[p], s0), _mm_add_epi64(w7, s1));                   \
        _mm_store_si128(reinterpret_cast<__m128i*>(wk + 2 * (p)),                               \
                        _mm_add_epi64(w[p], _mm_loadu_si128(reinterpret_cast<const __m128i*>(   \
                                                kRound + (j) + 16 + 2 * (p)))));                \
    } while (0)

#define OV_SIGMA0 Sigma0Flat
#define OV_SIGMA1 Sigma1Flat
// The message schedule two words at a time in SSE registers, interleaved with the scalar
// rounds: sixteen rounds ahead of its use, so it runs beside the rounds' dependency chain.
// The rounds read W + K from a ring on the stack. About 1.4 times the portable rounds.
__attribute__((target("avx,bmi,bmi2"))) void BlocksAvxBmi2(std::uint64_t state[8],
                                                           const std::uint8_t* data,
                                                           std::size_t blockCount) {
    const __m128i byteSwap = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    for (; blockCount > 0; --blockCount, data += 128) {
        __m128i w[8];
        alignas(16) std::uint64_t wk[16];
        for (int i = 0; i < 8; ++i) {
            w[i] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
            _mm_store_si128(
                reinterpret_cast<__m128i*>(wk + 2 * i),
                _mm_add_epi64(w[i],
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 2 * i))));
        }
        std::uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
        std::uint64_t x = b ^ c, y = 0;
        // The rounds take W + K straight from memory as add operands; left to itself the
        // compiler pulls them out of the SSE registers one lane at a time, which is slower.
        const std::uint64_t* in = wk;
        asm("" : "+r"(in));
#pragma GCC unroll 5
        for (int j = 0; j < 80; j += 16) {
            // Two rounds per schedule step; the names turn by two each time.
#define OV_SHA512_PAIR(p, a, b, c, d, e, f, g, h)                   \
    OV_SHA512_ROUND(a, b, c, d, e, f, g, h, in[2 * (p)], x, y);     \
    OV_SHA512_ROUND(h, a, b, c, d, e, f, g, in[2 * (p) + 1], y, x); \
    if (j < 64) OV_SHA512_SCHEDULE(j, p)
            OV_SHA512_PAIR(0, a, b, c, d, e, f, g, h);
            OV_SHA512_PAIR(1, g, h, a, b, c, d, e, f);
            OV_SHA512_PAIR(2, e, f, g, h, a, b, c, d);
            OV_SHA512_PAIR(3, c, d, e, f, g, h, a, b);
            OV_SHA512_PAIR(4, a, b, c, d, e, f, g, h);
            OV_SHA512_PAIR(5, g, h, a, b, c, d, e, f);
            OV_SHA512_PAIR(6, e, f, g, h, a, b, c, d);
            OV_SHA512_PAIR(7, c, d, e, f, g, h, a, b);
#undef OV_SHA512_PAIR
        }
        AddWorkingVariables(state, a, b, c, d, e, f, g, h);
    }
}
#undef OV_SHA512_SCHEDULE
#undef OV_SIGMA0
#undef OV_SIGMA1
#endif

#define OV_SIGMA0 Sigma0
#define OV_SIGMA1 Sigma1

}  // namespace

bool Sha512HasFastPath() {
#ifdef OV_SHA512_X86
    static const bool fast = __builtin_cpu_supports("avx") && __builtin_cpu_supports("bmi") &&
                             __builtin_cpu_supports("bmi2");
    return fast;
#else
    return false;
#endif
}

void Sha512Blocks(std::uint64_t state[8], const std::uint8_t* data, std::size_t blockCount) {
#ifdef OV_SHA512_X86
    if (Sha512HasFastPath()) return BlocksAvxBmi2(state, data, blockCount);
#endif
    Sha512BlocksPortable(state, data, blockCount);
}

void Sha512BlocksPortable(std::uint64_t state[8], const std::uint8_t* data,
                          std::size_t blockCount) {
    for (; blockCount > 0; --blockCount, data += 128) {
        std::uint64_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = LoadBigEndian(data + 8 * i);
        std::uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
        std::uint64_t x = b ^ c, y = 0;  // b ^ c of the coming round, a ^ b of this one
#define OV_W_LOAD(k) w[j + (k)]
#pragma GCC unroll 2
        for (int j = 0; j < 16; j += 8) {
            OV_SHA512_EIGHT(j, OV_W_LOAD);
        }
        // The message schedule as a sixteen-word ring, extended as the rounds need it.
#define OV_W_NEXT(k)      \
    (w[(j + (k)) & 15] += \
     Gamma1(w[(j + (k) + 14) & 15]) + w[(j + (k) + 9) & 15] + Gamma0(w[(j + (k) + 1) & 15]))
#pragma GCC unroll 8
        for (int j = 16; j < 80; j += 8) {
            OV_SHA512_EIGHT(j, OV_W_NEXT);
        }
#undef OV_W_LOAD
#undef OV_W_NEXT
        AddWorkingVariables(state, a, b, c, d, e, f, g, h);
    }
}

#undef OV_SHA512_EIGHT
#undef OV_SHA512_ROUND
#undef OV_SIGMA0
#undef OV_SIGMA1

void Sha512Init(Sha512Context* context) {
    context->bitCountHigh = 0;
    context->bitCountLow = 0;
    std::memcpy(context->state, kInitial, sizeof(kInitial));
}

void Sha512Update(Sha512Context* context, const std::uint8_t* data, std::uint64_t length) {
    std::size_t waiting = (context->bitCountLow / 8) % 128;
    const std::uint64_t bits = length * 8;
    context->bitCountLow += bits;
    if (context->bitCountLow < bits) ++context->bitCountHigh;
    context->bitCountHigh += length >> 61;
    if (waiting > 0) {
        const std::size_t room = 128 - waiting;
        if (length < room) {
            std::memcpy(context->block + waiting, data, length);
            return;
        }
        std::memcpy(context->block + waiting, data, room);
        Sha512Blocks(context->state, context->block, 1);
        data += room;
        length -= room;
    }
    const std::uint64_t whole = length / 128;
    if (whole > 0) Sha512Blocks(context->state, data, whole);
    std::memcpy(context->block, data + whole * 128, length % 128);
}

void Sha512Final(std::uint8_t* digest, Sha512Context* context) {
    std::uint8_t lengthBytes[16];
    for (int i = 0; i < 8; ++i) {
        lengthBytes[i] = static_cast<std::uint8_t>(context->bitCountHigh >> (56 - 8 * i));
        lengthBytes[8 + i] = static_cast<std::uint8_t>(context->bitCountLow >> (56 - 8 * i));
    }
    const std::size_t waiting = (context->bitCountLow / 8) % 128;
    std::uint8_t padding[240] = {0x80};
    Sha512Update(context, padding, waiting < 112 ? 112 - waiting : 240 - waiting);
    Sha512Update(context, lengthBytes, 16);
    for (int i = 0; i < 8; ++i) {
        for (int b = 0; b < 8; ++b)
            digest[8 * i + b] = static_cast<std::uint8_t>(context->state[i] >> (56 - 8 * b));
    }
}

}  // namespace ov
