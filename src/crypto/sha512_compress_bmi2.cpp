// SPDX-License-Identifier: MIT
// The scalar compression compiled for BMI2: its rotations become RORX, which
// leaves its source and the flags alone.
#include "crypto/sha512.hpp"
#include "crypto/sha512_compress.hpp"
#include "crypto/sha512_rounds.hpp"

void sha512_compress_bmi2(std::uint64_t* H, std::uint64_t* W)
{
    compress_scalar(H, W, sha512_round_constants);
}

void sha512_compress_blocks_bmi2(std::uint64_t* H, const unsigned char* blocks, std::size_t count)
{
    compress_each_block(H, blocks, count, sha512_compress_bmi2);
}
