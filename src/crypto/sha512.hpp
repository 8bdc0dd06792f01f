// SPDX-License-Identifier: MIT
// SHA-512 (FIPS 180-4) over a context that keeps the block in progress as
// big-endian 64-bit words.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kDigestSize = 64;
inline constexpr std::size_t kDigestBlockSize = 128;

struct DigestContext {
    // Bytes absorbed so far, a 128-bit number: byte_count[0] is the low word.
    std::uint64_t byte_count[2];
    std::uint64_t H[8];
    // The block in progress. Bytes already placed in W[p / 8] occupy its
    // high-order positions and the rest of that word is zero. Compression
    // leaves it as scratch (schedule words or the block).
    std::uint64_t W[16];
};

extern const std::uint64_t sha512_initial_hash[8];
extern const std::uint64_t sha512_round_constants[80];

void digest_reset(DigestContext& context);

// Any mix of call lengths, including 0, gives the digest of the concatenation.
void digest_absorb(const unsigned char* data, std::uint32_t length, DigestContext& context);

// Pads, compresses the last block(s) and writes the first n bytes of the
// digest (n is at most 64). The context is not reset.
void digest_finish(unsigned char* out, DigestContext& context, std::size_t n);

// Compresses the block held in W into H.
void digest_block(DigestContext& context);
