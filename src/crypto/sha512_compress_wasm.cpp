// SPDX-License-Identifier: MIT
// The vector-schedule compression for WebAssembly SIMD: the message schedule
// two words at a time in i64x2 vectors, beside the rounds in 64-bit scalars,
// as sha512_vector.hpp does with SSE. A module cannot ask its engine what it
// runs, so the build chooses this one (VALIDATE_SHA512_WASM_SIMD) for a
// module that needs SIMD anyway (-msimd128).
#include <wasm_simd128.h>

#include <cstddef>

#include "crypto/sha512.hpp"
#include "crypto/sha512_compress.hpp"
#include "crypto/sha512_rounds.hpp"

namespace {

using Pair = v128_t;

[[gnu::always_inline]] inline Pair rot2(Pair x, int n)
{
    return wasm_v128_or(wasm_u64x2_shr(x, n), wasm_i64x2_shl(x, 64 - n));
}

[[gnu::always_inline]] inline Pair small_sigma0_2(Pair x)
{
    return wasm_v128_xor(wasm_v128_xor(rot2(x, 1), rot2(x, 8)), wasm_u64x2_shr(x, 7));
}

[[gnu::always_inline]] inline Pair small_sigma1_2(Pair x)
{
    return wasm_v128_xor(wasm_v128_xor(rot2(x, 19), rot2(x, 61)), wasm_u64x2_shr(x, 6));
}

// The schedule ring as eight pairs: X[i] holds words 2i and 2i + 1.
using Ring = Pair[8];
constexpr std::ptrdiff_t kWordsPerPair = 2;

[[gnu::always_inline]] inline void store_k_plus_w(u64* k_plus_w, int i, Pair w, const u64* K)
{
    const Pair k = wasm_v128_load(K + kWordsPerPair * i);
    wasm_v128_store(k_plus_w + kWordsPerPair * i, wasm_i64x2_add(w, k));
}

// Words 2i and 2i + 1 of the next pass, in place, and their K + W: words
// j - 15 and j - 7 straddle two pairs each.
[[gnu::always_inline]] inline void next_pair(Ring& X, int i, u64* k_plus_w, const u64* K)
{
    const Pair w1 = wasm_i64x2_shuffle(X[i], X[(i + 1) & 7], 1, 2);
    const Pair w9 = wasm_i64x2_shuffle(X[(i + 4) & 7], X[(i + 5) & 7], 1, 2);
    X[i] = wasm_i64x2_add(wasm_i64x2_add(X[i], small_sigma0_2(w1)),
                          wasm_i64x2_add(w9, small_sigma1_2(X[(i + 7) & 7])));
    store_k_plus_w(k_plus_w, i, X[i], K);
}

// The compression of one block, whose pair i load_pair(i) gives.
template <typename LoadPair>
[[gnu::always_inline]] inline void compress_with(u64* H, LoadPair load_pair)
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

} // namespace

void sha512_compress_wasm_simd(std::uint64_t* H, std::uint64_t* W)
{
    compress_with(H, [W](int i) { return wasm_v128_load(W + kWordsPerPair * i); });
}

// Each block's pairs are loaded and byte-swapped in vector registers.
void sha512_compress_blocks_wasm_simd(std::uint64_t* H, const unsigned char* blocks,
                                      std::size_t count)
{
    for (; count > 0; --count, blocks += kDigestBlockSize) {
        compress_with(H, [blocks](int i) {
            constexpr std::ptrdiff_t kBytesPerPair = 16;
            const Pair bytes = wasm_v128_load(blocks + kBytesPerPair * i);
            return wasm_i8x16_shuffle(bytes, bytes, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11,
                                      10, 9, 8);
        });
    }
}
