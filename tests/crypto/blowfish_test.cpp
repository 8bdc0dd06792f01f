// SPDX-License-Identifier: MIT
#include "crypto/blowfish.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/data_files.hpp"

namespace {

using test_support::DataLine;
using Bytes = std::vector<unsigned char>;

std::uint32_t be32(const Bytes& bytes, std::size_t at)
{
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | std::uint32_t{bytes[at + 3]};
}

CipherContext context_for(const Bytes& key)
{
    CipherContext context;
    cipher_setup(context, key.data(), static_cast<int>(key.size()));
    return context;
}

bool same_context(const CipherContext& a, const CipherContext& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

Bytes counting_key(std::size_t length)
{
    Bytes key(length);
    for (std::size_t i = 0; i < length; ++i) {
        key[i] = static_cast<unsigned char>(i * 7 + 3);
    }
    return key;
}

const std::vector<DataLine>& blowfish_vectors()
{
    static const auto vectors = test_support::read_data_lines("crypto/vectors/blowfish.txt", ' ');
    return vectors;
}

class BlowfishVector : public testing::TestWithParam<DataLine> {};

TEST_P(BlowfishVector, EncryptsToThePublishedCiphertext)
{
    const auto& f = GetParam().fields;
    ASSERT_EQ(f.size(), 3U);
    const Bytes plain = test_support::from_hex(f[1]);
    const CipherContext context = context_for(test_support::from_hex(f[0]));
    std::uint32_t left = be32(plain, 0);
    std::uint32_t right = be32(plain, 4);
    cipher_encrypt_block(context, left, right);
    const Bytes expected = test_support::from_hex(f[2]);
    EXPECT_EQ(left, be32(expected, 0));
    EXPECT_EQ(right, be32(expected, 4));
}

INSTANTIATE_TEST_SUITE_P(Published, BlowfishVector, testing::ValuesIn(blowfish_vectors()),
                         test_support::case_name<DataLine>);

TEST(Blowfish, VectorFileIsComplete)
{
    EXPECT_EQ(blowfish_vectors().size(), 84U);
}

TEST(Blowfish, KeyBytesBeyondThe72ndHaveNoEffect)
{
    const Bytes key = counting_key(300);
    const Bytes first_72(key.begin(), key.begin() + 72);
    EXPECT_TRUE(same_context(context_for(key), context_for(first_72)));

    Bytes changed_73rd = key;
    changed_73rd[72] ^= 0xFF;
    EXPECT_TRUE(same_context(context_for(changed_73rd), context_for(key)));
    Bytes changed_72nd = key;
    changed_72nd[71] ^= 0xFF;
    EXPECT_FALSE(same_context(context_for(changed_72nd), context_for(key)));
}

TEST(Blowfish, ShortKeysAreUsedCyclically)
{
    for (const std::size_t length : {1U, 3U, 8U, 50U}) {
        const Bytes key = counting_key(length);
        Bytes repeated;
        while (repeated.size() < 72) {
            repeated.insert(repeated.end(), key.begin(), key.end());
        }
        EXPECT_TRUE(same_context(context_for(key), context_for(repeated))) << "length " << length;
    }
}

// Fifteen keys take every way of setting up keys side by side: eight, four,
// two, one.
TEST(Blowfish, KeysSetUpSideBySideAsEachAlone)
{
    std::vector<Bytes> keys;
    std::vector<CipherContext> together(15);
    std::vector<CipherContext*> contexts;
    std::vector<const unsigned char*> key_bytes;
    std::vector<int> key_lengths;
    for (std::size_t k = 0; k < together.size(); ++k) {
        keys.push_back(counting_key(k * 5));
    }
    for (std::size_t k = 0; k < together.size(); ++k) {
        contexts.push_back(&together[k]);
        key_bytes.push_back(keys[k].data());
        key_lengths.push_back(static_cast<int>(keys[k].size()));
    }
    cipher_setup_together(contexts.data(), key_bytes.data(), key_lengths.data(),
                          static_cast<int>(together.size()));
    for (std::size_t k = 0; k < together.size(); ++k) {
        EXPECT_TRUE(same_context(together[k], context_for(keys[k]))) << "key " << k;
    }
}

} // namespace
