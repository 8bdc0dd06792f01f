#include "crypto/sha512.hpp"

#include <algorithm>

namespace {

using u64 = std::uint64_t;

constexpr u64 rot(u64 x, int n) { return (x >> n) | (x << (64 - n)); }
constexpr u64 ch(u64 x, u64 y, u64 z) { return (x & y) ^ (~x & z); }
constexpr u64 maj(u64 x, u64 y, u64 z) { return (x & y) ^ (x & z) ^ (y & z); }
constexpr u64 big_sigma0(u64 x) { return rot(x, 28) ^ rot(x, 34) ^ rot(x, 39); }
constexpr u64 big_sigma1(u64 x) { return rot(x, 14) ^ rot(x, 18) ^ rot(x, 41); }
constexpr u64 small_sigma0(u64 x) { return rot(x, 1) ^ rot(x, 8) ^ (x >> 7); }
constexpr u64 small_sigma1(u64 x) { return rot(x, 19) ^ rot(x, 61) ^ (x >> 6); }

u64 load_be64(const unsigned char* p)
{
    return u64{p[0]} << 56 | u64{p[1]} << 48 | u64{p[2]} << 40 | u64{p[3]} << 32 |
           u64{p[4]} << 24 | u64{p[5]} << 16 | u64{p[6]} << 8 | u64{p[7]};
}

// One round with the roles of the working variables passed in rotated order.
inline void round(u64 a, u64 b, u64 c, u64& d, u64 e, u64 f, u64 g, u64& h, u64 k_plus_w)
{
    h += big_sigma1(e) + ch(e, f, g) + k_plus_w;
    d += h;
    h += big_sigma0(a) + maj(a, b, c);
}

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

// Places n bytes into the block in progress, n no more than the room left in
// it, and compresses the block when it is full.
void place_bytes(DigestContext& context, const unsigned char* data, std::size_t n)
{
    std::size_t p = block_position(context);
    count_bytes(context, n);
    for (; n > 0 && p % 8 != 0; --n, ++p, ++data) {
        context.W[p / 8] |= u64{*data} << (8 * (7 - p % 8));
    }
    for (; n >= 8; n -= 8, p += 8, data += 8) {
        context.W[p / 8] = load_be64(data);
    }
    if (n > 0) {
        u64 word = 0;
        for (std::size_t i = 0; i < n; ++i) {
            word |= u64{data[i]} << (8 * (7 - i));
        }
        context.W[p / 8] = word;
        p += n;
    }
    if (p == kDigestBlockSize) {
        digest_block(context);
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
    std::size_t rest = length;
    if (block_position(context) != 0) {
        const std::size_t fill = std::min(rest, kDigestBlockSize - block_position(context));
        place_bytes(context, data, fill);
        data += fill;
        rest -= fill;
    }
    for (; rest >= kDigestBlockSize; rest -= kDigestBlockSize, data += kDigestBlockSize) {
        for (std::size_t i = 0; i < 16; ++i) {
            context.W[i] = load_be64(data + 8 * i);
        }
        count_bytes(context, kDigestBlockSize);
        digest_block(context);
    }
    if (rest > 0) {
        place_bytes(context, data, rest);
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
        digest_block(context);
        std::fill(W, W + 14, u64{0});
    } else {
        std::fill(W + p / 8 + 1, W + 14, u64{0});
    }
    W[14] = (context.byte_count[1] << 3) | (context.byte_count[0] >> 61);
    W[15] = context.byte_count[0] << 3;
    digest_block(context);

    n = std::min(n, kDigestSize);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<unsigned char>(context.H[i / 8] >> (8 * (7 - i % 8)));
    }
}

void digest_block(DigestContext& context)
{
    u64* W = context.W;
    const u64* K = sha512_round_constants;
    u64 a = context.H[0], b = context.H[1], c = context.H[2], d = context.H[3];
    u64 e = context.H[4], f = context.H[5], g = context.H[6], h = context.H[7];

    for (int t = 0; t < 80; t += 16, K += 16) {
        if (t > 0) {
            // The schedule in place in the 16-word ring: word j of this pass
            // follows from words j - 16, j - 15, j - 7 and j - 2.
            for (int j = 0; j < 16; ++j) {
                W[j] += small_sigma1(W[(j + 14) % 16]) + W[(j + 9) % 16] +
                        small_sigma0(W[(j + 1) % 16]);
            }
        }
        for (int j = 0; j < 16; j += 8) {
            round(a, b, c, d, e, f, g, h, K[j + 0] + W[j + 0]);
            round(h, a, b, c, d, e, f, g, K[j + 1] + W[j + 1]);
            round(g, h, a, b, c, d, e, f, K[j + 2] + W[j + 2]);
            round(f, g, h, a, b, c, d, e, K[j + 3] + W[j + 3]);
            round(e, f, g, h, a, b, c, d, K[j + 4] + W[j + 4]);
            round(d, e, f, g, h, a, b, c, K[j + 5] + W[j + 5]);
            round(c, d, e, f, g, h, a, b, K[j + 6] + W[j + 6]);
            round(b, c, d, e, f, g, h, a, K[j + 7] + W[j + 7]);
        }
    }

    context.H[0] += a;
    context.H[1] += b;
    context.H[2] += c;
    context.H[3] += d;
    context.H[4] += e;
    context.H[5] += f;
    context.H[6] += g;
    context.H[7] += h;
}
