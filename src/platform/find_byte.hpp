// SPDX-License-Identifier: MIT
// The first of a byte in a run of bytes, as memchr finds it: the C library's
// memchr, but in WebAssembly, whose C library looks at four bytes at a time,
// 64 at a time in SIMD vectors. The reader looks through each whole block
// for a few bytes that are rare in a data file, and mostly finds none.
#pragma once

#include <cstddef>
#include <cstring>

#ifdef __wasm_simd128__
#include <wasm_simd128.h>

#include <bit>
#endif

inline const unsigned char* find_byte(const unsigned char* p, unsigned char c, std::size_t n)
{
#ifdef __wasm_simd128__
    const v128_t wanted = wasm_i8x16_splat(static_cast<signed char>(c));
    const auto equal = [&](std::size_t at) { return wasm_i8x16_eq(wasm_v128_load(p + at), wanted); };
    std::size_t at = 0;
    for (; at + 64 <= n; at += 64) {
        if (wasm_v128_any_true(wasm_v128_or(wasm_v128_or(equal(at), equal(at + 16)),
                                            wasm_v128_or(equal(at + 32), equal(at + 48))))) {
            break;
        }
    }
    for (; at + 16 <= n; at += 16) {
        if (const unsigned mask = wasm_i8x16_bitmask(equal(at)); mask != 0) {
            return p + at + std::countr_zero(mask);
        }
    }
    for (; at < n; ++at) {
        if (p[at] == c) {
            return p + at;
        }
    }
    return nullptr;
#else
    return static_cast<const unsigned char*>(std::memchr(p, c, n));
#endif
}
