// SPDX-License-Identifier: MIT
// The builds of the SHA-512 compression function: a portable one, and on
// x86-64 and on AArch64 Linux faster ones for processors that have the
// instructions they use; in WebAssembly, one with SIMD, which the build
// chooses.
// digest_block and digest_absorb use the fastest the processor can run,
// chosen on first use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Compresses the block held in W (16 words, as big-endian loads give them)
// into H. W is scratch afterwards: it may hold schedule words or the block.
using Sha512CompressFunction = void (*)(std::uint64_t* H, std::uint64_t* W);

// Compresses count blocks of 128 bytes at blocks, one after another, into H:
// the runs of whole blocks that a long input holds, read where they lie.
using Sha512CompressBlocksFunction = void (*)(std::uint64_t* H, const unsigned char* blocks,
                                              std::size_t count);

struct Sha512Compression {
    const char* name;
    Sha512CompressFunction compress;
    Sha512CompressBlocksFunction compress_blocks;
    // Whether this processor runs it.
    bool (*supported)();
};

// Every build compiled in, the portable one first, then from the slowest to
// the fastest.
std::span<const Sha512Compression> sha512_compressions();

// The build in use; the first call chooses the last supported one.
const Sha512Compression& sha512_compression();

// Makes digest_block use this build from now on, for tests and benchmarks.
// The processor must support it.
void sha512_use_compression(const Sha512Compression& compression);

void sha512_compress_portable(std::uint64_t* H, std::uint64_t* W);
void sha512_compress_blocks_portable(std::uint64_t* H, const unsigned char* blocks, std::size_t count);
#ifdef VALIDATE_SHA512_X86
void sha512_compress_bmi2(std::uint64_t* H, std::uint64_t* W);
void sha512_compress_blocks_bmi2(std::uint64_t* H, const unsigned char* blocks, std::size_t count);
void sha512_compress_avx2(std::uint64_t* H, std::uint64_t* W);
void sha512_compress_blocks_avx2(std::uint64_t* H, const unsigned char* blocks, std::size_t count);
void sha512_compress_avx512(std::uint64_t* H, std::uint64_t* W);
void sha512_compress_blocks_avx512(std::uint64_t* H, const unsigned char* blocks, std::size_t count);
#endif
#ifdef VALIDATE_SHA512_WASM_SIMD
void sha512_compress_wasm_simd(std::uint64_t* H, std::uint64_t* W);
void sha512_compress_blocks_wasm_simd(std::uint64_t* H, const unsigned char* blocks,
                                      std::size_t count);
#endif
#ifdef VALIDATE_SHA512_ARM64
void sha512_compress_arm64(std::uint64_t* H, std::uint64_t* W);
void sha512_compress_blocks_arm64(std::uint64_t* H, const unsigned char* blocks, std::size_t count);
#endif
