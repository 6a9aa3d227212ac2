#include "image/sha256.h"

#include <cstring>

namespace ov {

namespace {

constexpr std::uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

void AddCount(Sha256Context* c, std::uint32_t bytes) {
    const std::uint32_t before = c->byteCountLow;
    c->byteCountLow += bytes;
    if (c->byteCountLow < before) ++c->byteCountHigh;
}

}  // namespace

int Sha256Init(Sha256Context* context) {
    if (context == nullptr) return -2;
    std::memset(context, 0, sizeof(*context));
    std::memcpy(context->state, kInitial, sizeof(kInitial));
    return 0;
}

int Sha256Update(Sha256Context* context, const std::uint8_t* data, std::size_t length) {
    if (context == nullptr || data == nullptr) return -2;
    if (context->buffered > 0) {
        const std::size_t room = 64 - context->buffered;
        if (length < room) {
            std::memcpy(context->block + context->buffered, data, length);
            context->buffered += static_cast<std::uint32_t>(length);
            return 0;
        }
        std::memcpy(context->block + context->buffered, data, room);
        Sha256Blocks(context->state, context->block, 1);
        AddCount(context, 64);
        std::memset(context->block, 0, sizeof(context->block));
        context->buffered = 0;
        data += room;
        length -= room;
    }
    const std::size_t whole = length / 64;
    if (whole > 0) {
        Sha256Blocks(context->state, data, whole);
        for (std::size_t i = 0; i < whole; ++i) AddCount(context, 64);
    }
    const std::size_t rest = length % 64;
    std::memcpy(context->block, data + whole * 64, rest);
    context->buffered = static_cast<std::uint32_t>(rest);
    return 0;
}

int Sha256Final(std::uint8_t* digest, Sha256Context* context) {
    if (digest == nullptr || context == nullptr) return -2;
    AddCount(context, context->buffered);
    const std::uint64_t bits =
        ((static_cast<std::uint64_t>(context->byteCountHigh) << 32) | context->byteCountLow) * 8;
    std::uint32_t at = context->buffered;
    context->block[at++] = 0x80;
    if (at > 56) {
        std::memset(context->block + at, 0, 64 - at);
        Sha256Blocks(context->state, context->block, 1);
        at = 0;
    }
    std::memset(context->block + at, 0, 56 - at);
    for (int i = 0; i < 8; ++i)
        context->block[56 + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Sha256Blocks(context->state, context->block, 1);
    for (int i = 0; i < 8; ++i) {
        for (int b = 0; b < 4; ++b)
            digest[4 * i + b] = static_cast<std::uint8_t>(context->state[i] >> (24 - 8 * b));
    }
    return 0;
}

}  // namespace ov
