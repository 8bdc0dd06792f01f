// SPDX-License-Identifier: MIT
// The vector-schedule compression for AVX2 with BMI2 (RORX in the rounds).
#include "crypto/sha512_compress.hpp"
#include "crypto/sha512_vector.hpp"

void sha512_compress_avx2(std::uint64_t* H, std::uint64_t* W)
{
    compress_vector(H, W);
}

void sha512_compress_blocks_avx2(std::uint64_t* H, const unsigned char* blocks, std::size_t count)
{
    compress_vector_blocks(H, blocks, count);
}
