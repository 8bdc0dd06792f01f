// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "check/check.hpp"
#include "support/data_files.hpp"

namespace {

using test_support::DataLine;
using Bytes = std::vector<unsigned char>;

struct SignatureLines {
    std::string first;
    std::string second;
};

CheckContext context;

void set_key_prefix(const std::string& text)
{
    ASSERT_LT(text.size(), kKeyPrefixSize);
    std::memcpy(context.key_prefix, text.c_str(), text.size() + 1);
}

SignatureLines signature_lines_for(const Bytes& digest)
{
    char first[kSignatureLineSize] = "";
    char second[kSignatureLineSize] = "";
    make_signature_lines(context, digest.data(), digest.size(), first, second);
    return {first, second};
}

Bytes counting_digest()
{
    Bytes digest(64);
    for (std::size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<unsigned char>(0x11 * i + 5);
    }
    return digest;
}

const std::vector<DataLine>& expected_rows()
{
    static const auto rows = test_support::read_data_lines("check/data/signature_lines.tsv", '\t');
    return rows;
}

class SignatureRow : public testing::TestWithParam<DataLine> {};

TEST_P(SignatureRow, GivesTheExpectedLines)
{
    const auto& f = GetParam().fields;
    ASSERT_EQ(f.size(), 4U);
    const Bytes prefix = test_support::from_hex(f[1]);
    set_key_prefix(std::string(prefix.begin(), prefix.end()));
    const SignatureLines lines = signature_lines_for(test_support::from_hex(f[0]));
    EXPECT_EQ(lines.first, f[2] + "\r\n");
    EXPECT_EQ(lines.second, f[3] + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Fixture, SignatureRow, testing::ValuesIn(expected_rows()),
                         test_support::case_name<DataLine>);

TEST(SignatureLines, FixtureIsComplete)
{
    EXPECT_EQ(expected_rows().size(), 10U);
}

class SignatureLinesTest : public testing::Test {
protected:
    void SetUp() override { set_key_prefix("HQDHWHARDWAREVERSION 2.5"); }
    void TearDown() override { set_key_prefix(""); }
};

TEST_F(SignatureLinesTest, EvenWordsFromTheSecondOnHaveNoInfluence)
{
    const SignatureLines reference = signature_lines_for(counting_digest());
    for (const int word : {2, 4, 6, 8, 10, 12, 14}) {
        Bytes digest = counting_digest();
        digest[4 * word + 3] ^= 0x01;
        const SignatureLines lines = signature_lines_for(digest);
        EXPECT_EQ(lines.first, reference.first) << "W" << word;
        EXPECT_EQ(lines.second, reference.second) << "W" << word;
    }
}

TEST_F(SignatureLinesTest, EachUsedWordReachesTheLinesOfItsPairs)
{
    struct Case {
        int word;
        bool first_changes;
        bool second_changes;
    };
    const Case cases[] = {
        {0, true, false},  {1, true, false},  {3, true, false},  {5, true, false},
        {7, true, true},   {9, false, true},  {11, false, true}, {13, false, true},
        {15, false, true},
    };
    const SignatureLines reference = signature_lines_for(counting_digest());
    for (const Case& c : cases) {
        Bytes digest = counting_digest();
        digest[4 * c.word] ^= 0x80;
        const SignatureLines lines = signature_lines_for(digest);
        EXPECT_EQ(lines.first != reference.first, c.first_changes) << "W" << c.word;
        EXPECT_EQ(lines.second != reference.second, c.second_changes) << "W" << c.word;
    }
}

TEST_F(SignatureLinesTest, LinesAreGAnd64UppercaseHexDigitsAndCrLf)
{
    const SignatureLines lines = signature_lines_for(counting_digest());
    for (const std::string& line : {lines.first, lines.second}) {
        ASSERT_EQ(line.size(), 67U);
        EXPECT_EQ(line[0], 'G');
        EXPECT_EQ(line.substr(65), "\r\n");
        EXPECT_EQ(line.find_first_not_of("0123456789ABCDEF", 1), 65U) << line;
    }
}

TEST_F(SignatureLinesTest, KeyPrefixChangesTheLines)
{
    const SignatureLines with_prefix = signature_lines_for(counting_digest());
    set_key_prefix("");
    const SignatureLines without = signature_lines_for(counting_digest());
    EXPECT_NE(with_prefix.first, without.first);
    EXPECT_NE(with_prefix.second, without.second);
}

TEST_F(SignatureLinesTest, AKeyPrefixOf51CharactersKeepsPartOfTheKeyConstant)
{
    // The key in effect is 72 bytes: 51 of prefix and 21 of the constant, so
    // a prefix that already fills 51 characters still differs from one whose
    // last character differs.
    set_key_prefix(std::string(50, 'x') + "a");
    const SignatureLines a = signature_lines_for(counting_digest());
    set_key_prefix(std::string(50, 'x') + "b");
    const SignatureLines b = signature_lines_for(counting_digest());
    EXPECT_NE(a.first, b.first);
}

TEST_F(SignatureLinesTest, ADigestOfFewerThanFourBytesWritesNothing)
{
    const Bytes digest = counting_digest();
    for (const std::size_t n : {0U, 1U, 3U}) {
        char first[kSignatureLineSize] = "untouched 1";
        char second[kSignatureLineSize] = "untouched 2";
        make_signature_lines(context, digest.data(), n, first, second);
        EXPECT_STREQ(first, "untouched 1");
        EXPECT_STREQ(second, "untouched 2");
    }
}

TEST(Hex8ToWord, ReadsEightUppercaseDigits)
{
    struct Case {
        const char* text;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"00000000", 0x00000000U}, {"FFFFFFFF", 0xFFFFFFFFU}, {"0123ABCD", 0x0123ABCDU},
        {"89ABCDEF", 0x89ABCDEFU}, {"1234567890", 0x12345678U},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hex8_to_word(c.text), c.value) << c.text;
    }
}

} // namespace
