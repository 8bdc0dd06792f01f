// SPDX-License-Identifier: MIT
// The JSON writer of datasig's JSON Lines: every control character escaped,
// ill-formed UTF-8 never written as it is, base64 as RFC 4648 gives it.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "datasig/json_writer.hpp"
#include "support/data_files.hpp"

namespace {

std::string json_string(const std::string& text)
{
    std::string out;
    append_json_string(out, text);
    return out;
}

TEST(JsonString, EscapesEveryControlCharacter)
{
    const std::string kShort[0x20] = {
        "", "", "", "", "", "", "", "", "\\b", "\\t", "\\n", "", "\\f", "\\r", "", "",
    };
    constexpr char kHex[] = "0123456789ABCDEF";
    for (int c = 0; c < 0x20; ++c) {
        const std::string escaped =
            !kShort[c].empty() ? kShort[c] : std::string("\\u00") + kHex[c >> 4] + kHex[c & 0xF];
        EXPECT_EQ(json_string(std::string(1, static_cast<char>(c))), "\"" + escaped + "\"") << c;
    }
}

struct StringCase {
    const char* name;
    std::string text;
    std::string json; // between the quotes
    bool utf8;
};

void PrintTo(const StringCase& c, std::ostream* out)
{
    *out << c.name;
}

#define REPLACEMENT "\xEF\xBF\xBD"

const StringCase kStringCases[] = {
    {"quote and backslash", "a\"b\\c", "a\\\"b\\\\c", true},
    {"DEL and slash as they are", "\x7F/", "\x7F/", true},
    {"NUL inside", std::string("a\0b", 3), "a\\u0000b", true},
    {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
     "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", true},
    {"the last code point", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF", true},
    {"lone continuation", "a\x80z", "a" REPLACEMENT "z", false},
    {"bytes that never begin one", "\xC0\xC1\xF5\xFF",
     REPLACEMENT REPLACEMENT REPLACEMENT REPLACEMENT, false},
    {"overlong slash", "\xC0\xAF", REPLACEMENT REPLACEMENT, false},
    {"overlong three bytes", "\xE0\x80\xAF", REPLACEMENT REPLACEMENT REPLACEMENT, false},
    {"surrogate", "\xED\xA0\x80", REPLACEMENT REPLACEMENT REPLACEMENT, false},
    {"past U+10FFFF", "\xF4\x90\x80\x80", REPLACEMENT REPLACEMENT REPLACEMENT REPLACEMENT,
     false},
    {"cut short at the end", "a\xE2\x82", "a" REPLACEMENT, false},
    {"cut short by a quote", "\xF0\x9F\x98\"", REPLACEMENT "\\\"", false},
    {"cut short by a newline", "\xE2\n", REPLACEMENT "\\n", false},
};

class StringCaseTest : public testing::TestWithParam<StringCase> {};

TEST_P(StringCaseTest, IsEscapedAndTold)
{
    const StringCase& c = GetParam();
    EXPECT_EQ(json_string(c.text), "\"" + c.json + "\"");
    EXPECT_EQ(is_utf8(c.text), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(JsonString, StringCaseTest, testing::ValuesIn(kStringCases),
                         test_support::case_name<StringCase>);

TEST(Base64, GivesTheVectorsOfRfc4648)
{
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},
        {"foo", "Zm9v"},    {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"}, {"\xFB\xFF\xFE", "+//+"},
    };
    for (const auto& [bytes, text] : vectors) {
        EXPECT_EQ(base64(bytes), text) << text;
    }
}

TEST(JsonFields, BytesThatAreNotUtf8GetTheirBase64)
{
    std::string out = "{";
    add_bytes(out, "name", "caf\xC3\xA9");
    add_bytes(out, "key", "caf\xE9");
    add_null(out, "none");
    EXPECT_EQ(out, "{\"name\":\"caf\xC3\xA9\",\"key\":\"caf" REPLACEMENT
                   "\",\"key_base64\":\"Y2Fm6Q==\",\"none\":null");
}

} // namespace
