// SPDX-License-Identifier: MIT
// The compression with the message schedule in vector registers, two words at
// a time, and the rounds in general registers. The vector work runs beside the
// rounds: each pass of sixteen rounds computes the schedule words of the next
// pass, so the rounds only load K + W from a small ring. Included by the file
// of each vector build, which is compiled for its instruction set: with
// AVX-512 (VL) the rotations and three-way XORs are single instructions.
#pragma once

#include <immintrin.h>

#include <cstddef>

#include "crypto/sha512.hpp"
#include "crypto/sha512_rounds.hpp"

namespace { // NOLINT(cert-dcl59-cpp): a private copy for each build

using Pair = __m128i;

[[gnu::always_inline]] inline Pair add(Pair x, Pair y)
{
    return _mm_add_epi64(x, y);
}

#ifdef __AVX512VL__
[[gnu::always_inline]] inline Pair small_sigma0_2(Pair x)
{
    return _mm_ternarylogic_epi64(_mm_ror_epi64(x, 1), _mm_ror_epi64(x, 8), _mm_srli_epi64(x, 7), 0x96);
}

[[gnu::always_inline]] inline Pair small_sigma1_2(Pair x)
{
    return _mm_ternarylogic_epi64(_mm_ror_epi64(x, 19), _mm_ror_epi64(x, 61), _mm_srli_epi64(x, 6),
                                  0x96);
}
#else
[[gnu::always_inline]] inline Pair rot2(Pair x, int n)
{
    return _mm_or_si128(_mm_srli_epi64(x, n), _mm_slli_epi64(x, 64 - n));
}

[[gnu::always_inline]] inline Pair small_sigma0_2(Pair x)
{
    return _mm_xor_si128(_mm_xor_si128(rot2(x, 1), rot2(x, 8)), _mm_srli_epi64(x, 7));
}

[[gnu::always_inline]] inline Pair small_sigma1_2(Pair x)
{
    return _mm_xor_si128(_mm_xor_si128(rot2(x, 19), rot2(x, 61)), _mm_srli_epi64(x, 6));
}
#endif

// The schedule ring as eight pairs: X[i] holds words 2i and 2i + 1.
using Ring = Pair[8];
constexpr std::ptrdiff_t kWordsPerPair = 2;

[[gnu::always_inline]] inline void store_k_plus_w(u64* k_plus_w, int i, Pair w, const u64* K)
{
    const Pair k = _mm_loadu_si128(reinterpret_cast<const Pair*>(K + kWordsPerPair * i));
    _mm_store_si128(reinterpret_cast<Pair*>(k_plus_w + kWordsPerPair * i), add(w, k));
}

// Words 2i and 2i + 1 of the next pass, in place, and their K + W.
[[gnu::always_inline]] inline void next_pair(Ring& X, int i, u64* k_plus_w, const u64* K)
{
    const Pair w1 = _mm_alignr_epi8(X[(i + 1) & 7], X[i], 8);
    const Pair w9 = _mm_alignr_epi8(X[(i + 5) & 7], X[(i + 4) & 7], 8);
    X[i] = add(add(X[i], small_sigma0_2(w1)), add(w9, small_sigma1_2(X[(i + 7) & 7])));
    store_k_plus_w(k_plus_w, i, X[i], K);
}

// The compression of one block, whose pair i load_pair(i) gives.
template <typename LoadPair>
[[gnu::always_inline]] inline void compress_vector_with(u64* H, LoadPair load_pair)
{
    const u64* K = sha512_round_constants;
    alignas(16) u64 k_plus_w[16];
    Ring X;
    for (int i = 0; i < 8; ++i) {
        X[i] = load_pair(i);
        store_k_plus_w(k_plus_w, i, X[i], K);
    }
    WorkingVariables v = start_block(H);
    for (int pass = 1; pass < 5; ++pass) {
        K += 16;
        // After every second round, the pair of the next pass that those
        // rounds no longer need.
        sixteen_rounds(v, [&](int j) {
            const u64 kw = k_plus_w[j];
            if (j % 2 == 1) {
                next_pair(X, j / 2, k_plus_w, K);
            }
            return kw;
        });
    }
    sixteen_rounds(v, [&](int j) { return k_plus_w[j]; });
    end_block(H, v);
}

[[gnu::always_inline]] inline void compress_vector(u64* H, const u64* W)
{
    compress_vector_with(H, [W](int i) {
        return _mm_loadu_si128(reinterpret_cast<const Pair*>(W + kWordsPerPair * i));
    });
}

// Each block's pairs are loaded and byte-swapped in vector registers: no
// round trip through W, whose 8-byte stores a 16-byte load could not take
// from the store buffer.
[[gnu::always_inline]] inline void compress_vector_blocks(u64* H, const unsigned char* blocks,
                                                          std::size_t count)
{
    const Pair swap = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    for (; count > 0; --count, blocks += kDigestBlockSize) {
        compress_vector_with(H, [blocks, swap](int i) {
            constexpr std::ptrdiff_t kBytesPerPair = 16;
            return _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const Pair*>(blocks + kBytesPerPair * i)), swap);
        });
    }
}

} // namespace
