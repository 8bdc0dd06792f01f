// SPDX-License-Identifier: MIT
// Blowfish encryption and its key schedule, one key or several side by side.
#include "crypto/blowfish.hpp"

#include <algorithm>
#include <utility>

namespace {

// The next four key bytes, the first most significant, cycling over the key.
std::uint32_t next_key_word(const unsigned char* key, int key_length, int& j)
{
    std::uint32_t word = 0;
    for (int k = 0; k < 4; ++k) {
        word = (word << 8) | key[j];
        j = (j + 1 == key_length) ? 0 : j + 1;
    }
    return word;
}

// F, the round function.
inline std::uint32_t round_function(const CipherContext& context, std::uint32_t x)
{
    const auto& S = context.S;
    return ((S[0][x >> 24] + S[1][(x >> 16) & 0xFF]) ^ S[2][(x >> 8) & 0xFF]) + S[3][x & 0xFF];
}

// The 16 rounds two at a time, so that the halves keep their places and
// never swap, over one block of each of several contexts at once: the
// dependent chains of different key schedules overlap in the processor. The
// lanes are spelled out by pack expansion, which keeps each lane's halves in
// registers; a loop over arrays kept them in memory, and was slower.
template <std::size_t... k>
inline void encrypt_blocks(const CipherContext* const* contexts, std::uint32_t* left,
                           std::uint32_t* right, std::index_sequence<k...>)
{
    const CipherContext* const context[] = {contexts[k]...};
    std::uint32_t L[] = {left[k]...};
    std::uint32_t R[] = {right[k]...};
    for (int i = 0; i < 16; i += 2) {
        ((L[k] ^= context[k]->P[i]), ...);
        ((R[k] ^= round_function(*context[k], L[k])), ...);
        ((R[k] ^= context[k]->P[i + 1]), ...);
        ((L[k] ^= round_function(*context[k], R[k])), ...);
    }
    ((left[k] = R[k] ^ context[k]->P[17]), ...);
    ((right[k] = L[k] ^ context[k]->P[16]), ...);
}

void mix_key(CipherContext& context, const unsigned char* key, int key_length)
{
    std::copy_n(&blowfish_initial_S[0][0], 4 * 256, &context.S[0][0]);
    int j = 0;
    for (int i = 0; i < 18; ++i) {
        const std::uint32_t key_word = key_length > 0 ? next_key_word(key, key_length, j) : 0;
        context.P[i] = blowfish_initial_P[i] ^ key_word;
    }
}

template <int n>
void setup_together(CipherContext* const* contexts, const unsigned char* const* keys,
                    const int* key_lengths)
{
    for (int k = 0; k < n; ++k) {
        mix_key(*contexts[k], keys[k], key_lengths[k]);
    }
    std::uint32_t L[n] = {};
    std::uint32_t R[n] = {};
    for (int i = 0; i < 18; i += 2) {
        encrypt_blocks(contexts, L, R, std::make_index_sequence<n>{});
        for (int k = 0; k < n; ++k) {
            contexts[k]->P[i] = L[k];
            contexts[k]->P[i + 1] = R[k];
        }
    }
    for (int box = 0; box < 4; ++box) {
        for (int i = 0; i < 256; i += 2) {
            encrypt_blocks(contexts, L, R, std::make_index_sequence<n>{});
            for (int k = 0; k < n; ++k) {
                contexts[k]->S[box][i] = L[k];
                contexts[k]->S[box][i + 1] = R[k];
            }
        }
    }
}

} // namespace

std::uint32_t cipher_round_function(const CipherContext& context, std::uint32_t x)
{
    return round_function(context, x);
}

void cipher_encrypt_block(const CipherContext& context, std::uint32_t& left, std::uint32_t& right)
{
    const CipherContext* const contexts[1] = {&context};
    encrypt_blocks(contexts, &left, &right, std::index_sequence<0>{});
}

void cipher_setup(CipherContext& context, const unsigned char* key, int key_length)
{
    CipherContext* const contexts[1] = {&context};
    setup_together<1>(contexts, &key, &key_length);
}

void cipher_setup_together(CipherContext* const* contexts, const unsigned char* const* keys,
                           const int* key_lengths, int count)
{
    int done = 0;
    for (; count - done >= kCipherSetupsTogether; done += kCipherSetupsTogether) {
        setup_together<kCipherSetupsTogether>(contexts + done, keys + done, key_lengths + done);
    }
    if (count - done >= 4) {
        setup_together<4>(contexts + done, keys + done, key_lengths + done);
        done += 4;
    }
    if (count - done >= 2) {
        setup_together<2>(contexts + done, keys + done, key_lengths + done);
        done += 2;
    }
    if (count - done == 1) {
        setup_together<1>(contexts + done, keys + done, key_lengths + done);
    }
}
