// SPDX-License-Identifier: MIT
// The choice among the compression builds the processor runs, made once a
// call, by the features the C library found.
#include "crypto/sha512_compress.hpp"

#include <atomic>

#include "crypto/sha512.hpp"
#include "crypto/sha512_rounds.hpp"
#include "platform/cpu.hpp"

namespace {

bool always()
{
    return true;
}

#ifdef VALIDATE_SHA512_X86
bool has_bmi2()
{
    return cpu_features().bmi2;
}

bool has_avx2_and_bmi2()
{
    return has_bmi2() && cpu_features().avx2;
}

// The AVX-512 build is compiled for AVX2 too, which -mavx512f brings in, and
// the compiler may use it: a process told not to (a tunable that masks AVX2)
// must not run it.
bool has_avx512vl_avx2_and_bmi2()
{
    return has_avx2_and_bmi2() && cpu_features().avx512vl;
}
#endif

#ifdef VALIDATE_SHA512_ARM64
bool has_sha512()
{
    return cpu_features().sha512;
}
#endif

const Sha512Compression compressions[] = {
    {"portable", sha512_compress_portable, sha512_compress_blocks_portable, always},
#ifdef VALIDATE_SHA512_X86
    {"bmi2", sha512_compress_bmi2, sha512_compress_blocks_bmi2, has_bmi2},
    {"avx2", sha512_compress_avx2, sha512_compress_blocks_avx2, has_avx2_and_bmi2},
    {"avx512", sha512_compress_avx512, sha512_compress_blocks_avx512, has_avx512vl_avx2_and_bmi2},
#endif
#ifdef VALIDATE_SHA512_WASM_SIMD
    // The module runs only where SIMD does.
    {"wasm_simd128", sha512_compress_wasm_simd, sha512_compress_blocks_wasm_simd, always},
#endif
#ifdef VALIDATE_SHA512_ARM64
    {"arm_sha512", sha512_compress_arm64, sha512_compress_blocks_arm64, has_sha512},
#endif
};

// Null until the first use chooses; nothing runs at start-up.
std::atomic<const Sha512Compression*> chosen{nullptr};

const Sha512Compression& choose()
{
    const Sha512Compression* best = &compressions[0];
    for (const Sha512Compression& compression : compressions) {
        if (compression.supported()) {
            best = &compression;
        }
    }
    chosen.store(best, std::memory_order_relaxed);
    return *best;
}

} // namespace

void sha512_compress_portable(std::uint64_t* H, std::uint64_t* W)
{
    compress_scalar(H, W, sha512_round_constants);
}

void sha512_compress_blocks_portable(std::uint64_t* H, const unsigned char* blocks, std::size_t count)
{
    compress_each_block(H, blocks, count, sha512_compress_portable);
}

std::span<const Sha512Compression> sha512_compressions()
{
    return compressions;
}

const Sha512Compression& sha512_compression()
{
    const Sha512Compression* compression = chosen.load(std::memory_order_relaxed);
    return compression != nullptr ? *compression : choose();
}

void sha512_use_compression(const Sha512Compression& compression)
{
    chosen.store(&compression, std::memory_order_relaxed);
}
