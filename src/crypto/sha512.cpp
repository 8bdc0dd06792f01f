// SPDX-License-Identifier: MIT
// SHA-512: absorbing bytes into 128-byte blocks, and the padding of the end.
#include "crypto/sha512.hpp"

#include <algorithm>

#include "crypto/sha512_compress.hpp"
#include "crypto/sha512_rounds.hpp"

namespace {

std::size_t block_position(const DigestContext& context)
{
    return static_cast<std::size_t>(context.byte_count[0] % kDigestBlockSize);
}

void count_bytes(DigestContext& context, std::size_t n)
{
    context.byte_count[0] += n;
    if (context.byte_count[0] < n) {
        ++context.byte_count[1];
    }
}

void compress(DigestContext& context)
{
    sha512_compression().compress(context.H, context.W);
}

// The bytes of [p, p + 8) that lie before end, as the high-order bytes of a
// big-endian word, the rest zero. The input that ends at end holds 8 bytes at
// least.
u64 load_be64_up_to(const unsigned char* p, const unsigned char* end)
{
    if (end - p >= 8) {
        return load_be64(p);
    }
    return load_be64(end - 8) << (8 * (p + 8 - end));
}

// Places n bytes (1 to the room left in the block) at block position p, and
// compresses the block when that fills it. [begin, end) is the whole input,
// which the whole-word loads do not read past.
void place_bytes(DigestContext& context, std::size_t p, const unsigned char* data, std::size_t n,
                 const unsigned char* begin, const unsigned char* end)
{
    u64* word = context.W + p / 8;
    const std::size_t q = p % 8;
    if (q + n < 8 || end - begin < 8) {
        // Few bytes: one at a time.
        for (const unsigned char* stop = data + n; data != stop; ++data, ++p) {
            const u64 byte = u64{*data} << (8 * (7 - p % 8));
            context.W[p / 8] = p % 8 == 0 ? byte : context.W[p / 8] | byte;
        }
    } else {
        const unsigned char* const stop = data + n;
        if (q != 0) {
            *word++ |= load_be64_up_to(data, end) >> (8 * q);
            data += 8 - q;
        }
        for (; stop - data >= 8; data += 8) {
            *word++ = load_be64(data);
        }
        if (data != stop) {
            // Only the input's end leaves part of a word: the block's end is a
            // word boundary.
            *word = load_be64(stop - 8) << (8 * (8 - (stop - data)));
        }
        p += n;
    }
    if (p == kDigestBlockSize) {
        compress(context);
    }
}

} // namespace

void digest_reset(DigestContext& context)
{
    context.byte_count[0] = 0;
    context.byte_count[1] = 0;
    std::copy_n(sha512_initial_hash, 8, context.H);
}

void digest_absorb(const unsigned char* data, std::uint32_t length, DigestContext& context)
{
    if (length == 0) {
        return;
    }
    const unsigned char* const begin = data;
    const unsigned char* const end = data + length;
    const std::size_t p = block_position(context);
    count_bytes(context, length);
    if (p != 0) {
        const std::size_t fill = std::min<std::size_t>(length, kDigestBlockSize - p);
        place_bytes(context, p, data, fill, begin, end);
        data += fill;
    }
    if (const auto blocks = static_cast<std::size_t>(end - data) / kDigestBlockSize; blocks > 0) {
        sha512_compression().compress_blocks(context.H, data, blocks);
        data += blocks * kDigestBlockSize;
    }
    if (data != end) {
        place_bytes(context, 0, data, static_cast<std::size_t>(end - data), begin, end);
    }
}

void digest_finish(unsigned char* out, DigestContext& context, std::size_t n)
{
    u64* W = context.W;
    const std::size_t p = block_position(context);
    const u64 marker = u64{0x80} << (8 * (7 - p % 8));
    if (p % 8 == 0) {
        W[p / 8] = marker;
    } else {
        W[p / 8] |= marker;
    }
    if (p >= 112) {
        if (p < 120) {
            W[15] = 0;
        }
        compress(context);
        std::fill(W, W + 14, u64{0});
    } else {
        std::fill(W + p / 8 + 1, W + 14, u64{0});
    }
    W[14] = (context.byte_count[1] << 3) | (context.byte_count[0] >> 61);
    W[15] = context.byte_count[0] << 3;
    compress(context);

    n = std::min(n, kDigestSize);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<unsigned char>(context.H[i / 8] >> (8 * (7 - i % 8)));
    }
}

void digest_block(DigestContext& context)
{
    compress(context);
}
