// SPDX-License-Identifier: MIT
// What sign writes in the awkward cases: where the signature lines go, in
// which order, with which line ends, and what is kept as it was.
#include "core/sign.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/generated_files.hpp"
#include "support/data_files.hpp"

namespace {

using namespace std::string_literals;
using datasig_test::to_bytes;
using datasig_test::to_string;

struct SignCase {
    const char* name;
    std::string file;
    // The output, with <1> and <2> for the first and second expected lines.
    std::string output;
    bool swapped;
};

void PrintTo(const SignCase& c, std::ostream* out)
{
    *out << c.name;
}

const std::string k78(78, 'x');

const SignCase kSignCases[] = {
    {"empty file", "", "<1>\n<2>\n", false},
    {"only a 0x1a", "\x1A", "<1>\n<2>\n\x1A", false},
    {"only signature lines", "Gold one\nGold two\n", "<1>\n<2>\n", false},
    {"lf", "A1\nB2\n", "A1\nB2\n<1>\n<2>\n", false},
    {"crlf", "A1\r\nB2\r\n", "A1\r\nB2\r\n<1>\r\n<2>\r\n", false},
    {"mostly lf", "A1\r\nA2\nA3\n", "A1\r\nA2\nA3\n<1>\n<2>\n", false},
    {"lf last line without end", "A1\nB2", "A1\nB2\n<1>\n<2>\n", false},
    {"crlf last line without end", "A1\r\nB2", "A1\r\nB2\r\n<1>\r\n<2>\r\n", false},
    {"a cr at the end stays content", "A1\nB2\r", "A1\nB2\r\r\n<1>\n<2>\n", false},
    {"signature lines anywhere are dropped", "Gx\nA1\nG" + std::string(64, '0') + "\nB2\nGy",
     "A1\nB2\n<1>\n<2>\n", false},
    {"a long line that begins with G is dropped whole", "G" + k78 + "A digested part\nA1\n",
     "A1\n<1>\n<2>\n", false},
    {"lowercase g lines stay", "g old\nA1\n", "g old\nA1\n<1>\n<2>\n", false},
    {"0x1a: lines go before it, the rest stays", "A1\nGold\nA2\x1Ajunk\nGkeep\n",
     "A1\nA2\n<1>\n<2>\n\x1Ajunk\nGkeep\n", false},
    {"cr before a 0x1a", "A1\r\x1A", "A1\r\r\n<1>\n<2>\n\x1A", false},
    {"nul bytes stay", "A1\0x\n\0\0\0"s, "A1\0x\n\0\0\0\n<1>\n<2>\n"s, false},
    {"one stray G piece swaps the lines", "A" + k78 + "G stray\nB1\n",
     "A" + k78 + "G stray\nB1\n<2>\n<1>\n", true},
    {"two stray G pieces do not", "A" + k78 + "G one\nA" + k78 + "G two\n",
     "A" + k78 + "G one\nA" + k78 + "G two\n<1>\n<2>\n", false},
    {"a stray piece in a crlf file", "A" + k78 + "G\r\n", "A" + k78 + "G\r\n<2>\r\n<1>\r\n", true},
};

class SignCaseTest : public testing::TestWithParam<SignCase> {};

TEST_P(SignCaseTest, WritesTheExpectedBytes)
{
    const SignCase& c = GetParam();
    const SignResult result = sign_bytes(to_bytes(c.file));
    ASSERT_TRUE(result.signed_ok) << result.problem;

    const std::size_t placeholders = c.output.find('<');
    const Findings content = check_bytes(to_bytes(c.output.substr(0, placeholders)));
    std::string expected = c.output;
    expected.replace(expected.find("<1>"), 3, content.expected[0]);
    expected.replace(expected.find("<2>"), 3, content.expected[1]);

    EXPECT_EQ(to_string(result.output), expected);
    EXPECT_EQ(result.swapped, c.swapped);
    EXPECT_TRUE(passes_check(result.output));
}

INSTANTIATE_TEST_SUITE_P(Sign, SignCaseTest, testing::ValuesIn(kSignCases),
                         test_support::case_name<SignCase>);

Bytes read_test_file(const std::string& relative)
{
    std::ifstream in(test_support::data_path(relative), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Sign, LeavesACorrectlySignedFileAsItIs)
{
    for (const char* name : {"signed_lf.txt", "signed_crlf.txt", "signed_no_key_line.txt",
                             "key_line_cut_at_51.txt", "long_line_pieces.txt"}) {
        const Bytes file = read_test_file("tool/fixtures/files/"s + name);
        ASSERT_FALSE(file.empty()) << name;
        EXPECT_EQ(sign_bytes(file).output, file) << name;
    }
}

TEST(Sign, DoesNotCarryAKeyOverFromTheFileBefore)
{
    const Bytes no_key_line = read_test_file("tool/fixtures/files/signed_no_key_line.txt");
    sign_bytes(read_test_file("tool/fixtures/files/signed_lf.txt"));
    EXPECT_EQ(sign_bytes(no_key_line).output, no_key_line);
}

TEST(Sign, RefusesWhenTheOutputFailsTheCheck)
{
    const SignResult result =
        sign_bytes(to_bytes("A1\n"), [](const Bytes&) { return false; });
    EXPECT_FALSE(result.signed_ok);
    EXPECT_TRUE(result.output.empty());
    EXPECT_NE(result.problem, "");
}

} // namespace
