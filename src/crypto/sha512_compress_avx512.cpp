// SPDX-License-Identifier: MIT
// The vector-schedule compression for AVX-512 (F and VL) with BMI2.
#include "crypto/sha512_compress.hpp"
#include "crypto/sha512_vector.hpp"

void sha512_compress_avx512(std::uint64_t* H, std::uint64_t* W)
{
    compress_vector(H, W);
}

void sha512_compress_blocks_avx512(std::uint64_t* H, const unsigned char* blocks, std::size_t count)
{
    compress_vector_blocks(H, blocks, count);
}
