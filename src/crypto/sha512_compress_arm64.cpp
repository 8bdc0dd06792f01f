// SPDX-License-Identifier: MIT
// The compression with the ARMv8.2 SHA-512 instructions, compiled for them
// alone. SHA512H and SHA512H2 run two rounds on the working variables held as
// the pairs ab, cd, ef and gh; SHA512SU0 and SHA512SU1 give two schedule words.
#include <arm_neon.h>

#include <cstddef>

#include "crypto/sha512.hpp"
#include "crypto/sha512_compress.hpp"

namespace {

using Pair = uint64x2_t;
constexpr std::ptrdiff_t kWordsPerPair = 2;

// Words 2i and 2i + 1 of p.
inline Pair load_pair(const std::uint64_t* p, int i)
{
    return vld1q_u64(p + kWordsPerPair * i);
}

// Lane 1 of x, then lane 0 of y.
inline Pair middle(Pair x, Pair y)
{
    return vextq_u64(x, y, 1);
}

// Rounds t and t + 1, with kw holding K + W of both. SHA512H gives the sum
// each round adds to d to make the new e: cd + those is the next ef, and
// SHA512H2 makes the next ab from them. The next cd and gh are the present ab
// and ef, so the caller passes the pairs in rotated order rather than moving
// them.
inline void two_rounds(Pair ab, Pair& cd, Pair ef, Pair& gh, Pair kw)
{
    const Pair h_plus_kw = vaddq_u64(gh, middle(kw, kw));
    const Pair t1 = vsha512hq_u64(h_plus_kw, middle(ef, gh), middle(cd, ef));
    gh = vsha512h2q_u64(t1, cd, ab);
    cd = vaddq_u64(cd, t1);
}

// Sixteen rounds; kw(i) gives K + W for the pass's rounds 2i and 2i + 1 and
// may compute schedule words of its own.
template <typename KPlusW>
inline void sixteen_rounds(Pair& s0, Pair& s1, Pair& s2, Pair& s3, KPlusW kw)
{
    two_rounds(s0, s1, s2, s3, kw(0));
    two_rounds(s3, s0, s1, s2, kw(1));
    two_rounds(s2, s3, s0, s1, kw(2));
    two_rounds(s1, s2, s3, s0, kw(3));
    two_rounds(s0, s1, s2, s3, kw(4));
    two_rounds(s3, s0, s1, s2, kw(5));
    two_rounds(s2, s3, s0, s1, kw(6));
    two_rounds(s1, s2, s3, s0, kw(7));
}

} // namespace

void sha512_compress_arm64(std::uint64_t* H, std::uint64_t* W)
{
    // The ring of schedule words, w[i] holding words 2i and 2i + 1.
    Pair w[8];
    for (int i = 0; i < 8; ++i) {
        w[i] = load_pair(W, i);
    }
    const Pair start[4] = {load_pair(H, 0), load_pair(H, 1), load_pair(H, 2), load_pair(H, 3)};
    Pair ab = start[0];
    Pair cd = start[1];
    Pair ef = start[2];
    Pair gh = start[3];
    const std::uint64_t* K = sha512_round_constants;
    for (int pass = 0; pass < 4; ++pass, K += 16) {
        sixteen_rounds(ab, cd, ef, gh, [&](int i) {
            const Pair kw = vaddq_u64(w[i], load_pair(K, i));
            // Words j and j + 1 of the next pass, from words j - 16 to
            // j - 14 (this pair and the next), j - 7 and j - 6, j - 2 and j - 1.
            w[i] = vsha512su1q_u64(vsha512su0q_u64(w[i], w[(i + 1) & 7]), w[(i + 7) & 7],
                                   middle(w[(i + 4) & 7], w[(i + 5) & 7]));
            return kw;
        });
    }
    sixteen_rounds(ab, cd, ef, gh, [&](int i) { return vaddq_u64(w[i], load_pair(K, i)); });
    vst1q_u64(H, vaddq_u64(ab, start[0]));
    vst1q_u64(H + 2, vaddq_u64(cd, start[1]));
    vst1q_u64(H + 4, vaddq_u64(ef, start[2]));
    vst1q_u64(H + 6, vaddq_u64(gh, start[3]));
}

void sha512_compress_blocks_arm64(std::uint64_t* H, const unsigned char* blocks, std::size_t count)
{
    for (; count > 0; --count, blocks += kDigestBlockSize) {
        // Each 8-byte word of the block, byte-swapped in place.
        alignas(16) std::uint64_t W[16];
        constexpr std::ptrdiff_t kBytesPerPair = 16;
        for (std::ptrdiff_t i = 0; i < 8; ++i) {
            vst1q_u64(W + kWordsPerPair * i,
                      vreinterpretq_u64_u8(vrev64q_u8(vld1q_u8(blocks + kBytesPerPair * i))));
        }
        sha512_compress_arm64(H, W);
    }
}
