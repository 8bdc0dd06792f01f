// SPDX-License-Identifier: MIT
// Blowfish: 64-bit blocks as two 32-bit halves, 16 rounds, encryption only.
#pragma once

#include <cstdint>

struct CipherContext {
    std::uint32_t P[18];
    std::uint32_t S[4][256];
};

extern const std::uint32_t blowfish_initial_P[18];
extern const std::uint32_t blowfish_initial_S[4][256];

// Runs the key schedule. It reads 72 key bytes, cycling over a shorter key;
// bytes beyond the 72nd have no effect. A key_length below 1 counts as an
// empty key, which leaves the initial P-array unmixed.
void cipher_setup(CipherContext& context, const unsigned char* key, int key_length);

// Runs count key schedules at once, the same as cipher_setup on each but
// faster: the schedule is one long chain of dependent encryptions, and
// chains of different keys overlap. It takes them kCipherSetupsTogether at a
// time, which is where a key costs least: more lanes than that run out of
// registers.
constexpr int kCipherSetupsTogether = 8;
void cipher_setup_together(CipherContext* const* contexts, const unsigned char* const* keys,
                           const int* key_lengths, int count);

// Encrypts the block (left, right) in place; left is the most significant half.
void cipher_encrypt_block(const CipherContext& context, std::uint32_t& left, std::uint32_t& right);

std::uint32_t cipher_round_function(const CipherContext& context, std::uint32_t x);
