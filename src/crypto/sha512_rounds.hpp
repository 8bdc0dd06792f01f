// SPDX-License-Identifier: MIT
// The scalar pieces of the SHA-512 compression, shared by its builds. Every
// build's file is compiled for its own instruction set, so each one keeps a
// private copy (the anonymous namespace) rather than sharing inline symbols
// that the linker could take from a build the processor cannot run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "crypto/sha512.hpp"

namespace { // NOLINT(cert-dcl59-cpp): a private copy for each build, as said above

using u64 = std::uint64_t;

// Compilers turn this into one load, and a byte swap where the processor is
// little-endian.
[[gnu::always_inline]] inline u64 load_be64(const unsigned char* p)
{
    return u64{p[0]} << 56 | u64{p[1]} << 48 | u64{p[2]} << 40 | u64{p[3]} << 32 |
           u64{p[4]} << 24 | u64{p[5]} << 16 | u64{p[6]} << 8 | u64{p[7]};
}

[[gnu::always_inline]] inline u64 rot(u64 x, int n)
{
    return (x >> n) | (x << (64 - n));
}
[[gnu::always_inline]] inline u64 ch(u64 x, u64 y, u64 z)
{
    return z ^ (x & (y ^ z));
}
[[gnu::always_inline]] inline u64 maj(u64 x, u64 y, u64 z)
{
    return y ^ ((x ^ y) & (y ^ z));
}
[[gnu::always_inline]] inline u64 big_sigma0(u64 x)
{
    return rot(x, 28) ^ rot(x, 34) ^ rot(x, 39);
}
[[gnu::always_inline]] inline u64 big_sigma1(u64 x)
{
    return rot(x, 14) ^ rot(x, 18) ^ rot(x, 41);
}
[[gnu::always_inline]] inline u64 small_sigma0(u64 x)
{
    return rot(x, 1) ^ rot(x, 8) ^ (x >> 7);
}
[[gnu::always_inline]] inline u64 small_sigma1(u64 x)
{
    return rot(x, 19) ^ rot(x, 61) ^ (x >> 6);
}

// One round, with the roles of the working variables passed in rotated order:
// the caller names them a ... h as this round sees them.
[[gnu::always_inline]] inline void round(u64 a, u64 b, u64 c, u64& d, u64 e, u64 f, u64 g,
                                         u64& h, u64 k_plus_w)
{
    h += big_sigma1(e) + ch(e, f, g) + k_plus_w;
    d += h;
    h += big_sigma0(a) + maj(a, b, c);
}

struct WorkingVariables {
    u64 a, b, c, d, e, f, g, h;
};

[[gnu::always_inline]] inline WorkingVariables start_block(const u64* H)
{
    return {H[0], H[1], H[2], H[3], H[4], H[5], H[6], H[7]};
}

[[gnu::always_inline]] inline void end_block(u64* H, const WorkingVariables& v)
{
    H[0] += v.a;
    H[1] += v.b;
    H[2] += v.c;
    H[3] += v.d;
    H[4] += v.e;
    H[5] += v.f;
    H[6] += v.g;
    H[7] += v.h;
}

// Sixteen rounds; kw(j) gives K + W for the pass's round j (0 ... 15) and may
// do work of its own, such as computing schedule words.
template <typename KPlusW>
[[gnu::always_inline]] inline void sixteen_rounds(WorkingVariables& v, KPlusW kw)
{
    auto& [a, b, c, d, e, f, g, h] = v;
    round(a, b, c, d, e, f, g, h, kw(0));
    round(h, a, b, c, d, e, f, g, kw(1));
    round(g, h, a, b, c, d, e, f, kw(2));
    round(f, g, h, a, b, c, d, e, kw(3));
    round(e, f, g, h, a, b, c, d, kw(4));
    round(d, e, f, g, h, a, b, c, kw(5));
    round(c, d, e, f, g, h, a, b, kw(6));
    round(b, c, d, e, f, g, h, a, kw(7));
    round(a, b, c, d, e, f, g, h, kw(8));
    round(h, a, b, c, d, e, f, g, kw(9));
    round(g, h, a, b, c, d, e, f, kw(10));
    round(f, g, h, a, b, c, d, e, kw(11));
    round(e, f, g, h, a, b, c, d, kw(12));
    round(d, e, f, g, h, a, b, c, kw(13));
    round(c, d, e, f, g, h, a, b, kw(14));
    round(b, c, d, e, f, g, h, a, kw(15));
}

// The compression with the schedule computed in a 16-word ring beside the
// rounds: word j of a later pass follows from words j - 16, j - 15, j - 7 and
// j - 2. The ring is a local copy of the block, not the caller's W: indexed by
// constants, it becomes sixteen plain values the compiler keeps in registers
// or spills as it sees fit. Through the pointer, GCC's -O3 split the pass loop
// into a schedule loop and a rounds loop that passed everything through the
// stack, which cost about 30 % of the speed.
[[gnu::always_inline]] inline void compress_scalar(u64* H, const u64* W, const u64* K)
{
    u64 ring[16];
    std::copy_n(W, 16, ring);
    WorkingVariables v = start_block(H);
    sixteen_rounds(v, [&](int j) { return K[j] + ring[j]; });
    for (int pass = 1; pass < 5; ++pass) {
        K += 16;
        sixteen_rounds(v, [&](int j) {
            ring[j] += small_sigma1(ring[(j + 14) & 15]) + ring[(j + 9) & 15] +
                       small_sigma0(ring[(j + 1) & 15]);
            return K[j] + ring[j];
        });
    }
    end_block(H, v);
}

// Compresses count blocks of bytes with compress(H, W), W the block's words.
template <typename Compress>
[[gnu::always_inline]] inline void compress_each_block(u64* H, const unsigned char* blocks,
                                                       std::size_t count, Compress compress)
{
    for (; count > 0; --count, blocks += kDigestBlockSize) {
        u64 W[16];
        for (std::size_t i = 0; i < 16; ++i) {
            W[i] = load_be64(blocks + 8 * i);
        }
        compress(H, W);
    }
}

} // namespace
