// SPDX-License-Identifier: MIT
// explain's facts: its counts, key line and found lines, and one case for
// every kind of warning, with its line number.
#include "core/explain.hpp"

#include <gtest/gtest.h>

#include <memory>

#include <string>
#include <utility>
#include <vector>

#include "core/reader.hpp"
#include "core/sign.hpp"
#include "core/warnings.hpp"
#include "support/generated_files.hpp"
#include "support/data_files.hpp"

namespace {

using namespace std::string_literals;
using datasig_test::to_bytes;
using Found = std::vector<std::pair<WarningKind, long>>;

const std::string k78(78, 'x');
const std::string kLowercaseHex(64, 'a');

struct WarningCase {
    const char* name;
    std::string file;
    bool sign_first; // add correct signature lines at the end before explaining
    Found warnings;
};

void PrintTo(const WarningCase& c, std::ostream* out)
{
    *out << c.name;
}

const WarningCase kWarningCases[] = {
    {"signed file", "A1\n# note\n", true, {}},
    {"content after a 0x1a", "A1\nA2\x1A\nA3\n", false,
     {{WarningKind::missing_signature, 0}, {WarningKind::after_eof_mark, 2}}},
    {"0x1a at the very end", "A1\n\x1A", true, {}},
    {"unchecked part of a long line", "A1\nA" + k78 + "z not checked\n", true,
     {{WarningKind::unchecked_part, 2}}},
    {"checked part of a long line", "A" + k78 + "B checked\n", true, {}},
    {"long line of exactly 158", "A" + k78 + "A" + k78 + "\n", true, {}},
    {"stray signature piece", "A" + k78 + "G stray\n", false,
     {{WarningKind::stray_signature, 1}, {WarningKind::missing_signature, 0}}},
    {"nul in a content line", "A1\nA2\0hidden\n"s, true, {{WarningKind::nul_byte, 2}}},
    {"line that begins with nul", "\0A hidden\n"s, true, {{WarningKind::nul_byte, 1}}},
    {"run of nuls over pieces gives one warning", std::string(200, '\0'), true,
     {{WarningKind::nul_byte, 1}}},
    {"nul in a comment changes nothing", "# a\0b\n"s, true, {}},
    {"signature in lowercase", "A1\nG" + kLowercaseHex + "\nG" + kLowercaseHex + "\n", false,
     {{WarningKind::lowercase_signature, 2}, {WarningKind::lowercase_signature, 3}}},
    {"signature with lowercase g", "A1\ng" + std::string(64, 'A') + "\n", true,
     {{WarningKind::lowercase_signature, 2}}},
    {"long line with lowercase g that is no signature", "A1\ng" + std::string(100, 'z') + "\n",
     true, {{WarningKind::unchecked_part, 2}}},
    {"no signature line", "A1\n", false, {{WarningKind::missing_signature, 0}}},
    {"one signature line", "A1\nGx\n", false, {{WarningKind::missing_signature, 0}}},
    {"third and fourth signature lines", "Ga\nGb\nGc\nGd\n", false,
     {{WarningKind::extra_signature, 3}, {WarningKind::extra_signature, 4}}},
};

Found kinds_and_lines(const Findings& explanation)
{
    Found found;
    for (const Warning& warning : explanation.warnings) {
        found.emplace_back(warning.kind, warning.line);
    }
    return found;
}

class WarningCaseTest : public testing::TestWithParam<WarningCase> {};

TEST_P(WarningCaseTest, WarnsWhereTheSignatureDoesNotProtect)
{
    const WarningCase& c = GetParam();
    const Bytes file = c.sign_first ? sign_bytes(to_bytes(c.file)).output : to_bytes(c.file);
    const Findings explanation = explain_bytes(file);
    EXPECT_EQ(kinds_and_lines(explanation), c.warnings);
    EXPECT_EQ(passed(explanation), passes_check(file));
    if (c.sign_first) {
        EXPECT_TRUE(passed(explanation));
    }
}

INSTANTIATE_TEST_SUITE_P(Explain, WarningCaseTest, testing::ValuesIn(kWarningCases),
                         test_support::case_name<WarningCase>);

TEST(Explain, CountsPiecesAndFindsTheLines)
{
    const Bytes file = sign_bytes(to_bytes("HQDHWHARDWAREVERSION 1\r\n# note\r\nA" + k78 +
                                           "z\r\nHQDHWHARDWAREVERSION 2\r\n"))
                           .output;
    const Findings explanation = explain_bytes(file);
    EXPECT_EQ(explanation.digested_pieces, 3U);
    EXPECT_EQ(explanation.ignored_pieces, 2U);
    EXPECT_EQ(explanation.signature_pieces, 2U);
    EXPECT_EQ(explanation.key_lines, 2U);
    EXPECT_EQ(explanation.key_line_number, 4U);
    EXPECT_EQ(std::string(explanation.key_line), "HQDHWHARDWAREVERSION 2");
    EXPECT_EQ(explanation.found_line[0], 5);
    EXPECT_EQ(explanation.found_line[1], 6);
    EXPECT_EQ(std::string(explanation.found[0]), std::string(explanation.expected[0]) + "\n");
}

TEST(Explain, ReportsAKeyLineCutToTheKey)
{
    const std::string key_line = "HQDHWHARDWAREVERSION " + std::string(40, 'r');
    const Findings explanation = explain_bytes(sign_bytes(to_bytes(key_line + "\n")).output);
    EXPECT_EQ(std::string(explanation.key_line), key_line);
    EXPECT_EQ(std::string(explanation.key_prefix), key_line.substr(0, 51));
    const std::string report = format_explanation(explanation, "f");
    EXPECT_NE(report.find("cut from 61 to its first 51 characters"), std::string::npos) << report;
}

TEST(Explain, MarksWhereAFoundLineDiffers)
{
    Bytes file = sign_bytes(to_bytes("A1\n")).output;
    file[3 + 11] = file[3 + 11] == '0' ? '1' : '0'; // the 12th character of the first line
    const std::string report = format_explanation(explain_bytes(file), "f");
    const std::string marked = "first signature line (line 2): differs at character 12\n";
    ASSERT_NE(report.find(marked), std::string::npos) << report;
    const std::size_t found = report.find("  found     ");
    const std::size_t caret = report.find('^');
    EXPECT_EQ(caret - report.find('\n', found) - 1, std::string("  found     ").size() + 11);
    EXPECT_NE(report.find("second signature line (line 3): matches\n"), std::string::npos);
}

struct DifferenceCase {
    const char* name;
    std::string found;
    std::string expected;
    std::size_t difference;
};

void PrintTo(const DifferenceCase& c, std::ostream* out)
{
    *out << c.name;
}

const std::string kLine = "G" + std::string(64, 'A');

const DifferenceCase kDifferenceCases[] = {
    {"same", kLine + "\n", kLine, 0},
    {"only the first 65 count", kLine + "extra", kLine, 0},
    {"empty slot", "", kLine, 1},
    {"short slot", kLine.substr(0, 30) + "\n", kLine, 31},
    {"last digit", kLine.substr(0, 64) + "B", kLine, 65},
};

class DifferenceCaseTest : public testing::TestWithParam<DifferenceCase> {};

TEST_P(DifferenceCaseTest, FindsTheFirstDifferingCharacter)
{
    EXPECT_EQ(first_difference(GetParam().found.c_str(), GetParam().expected.c_str()),
              GetParam().difference);
}

INSTANTIATE_TEST_SUITE_P(Explain, DifferenceCaseTest, testing::ValuesIn(kDifferenceCases),
                         test_support::case_name<DifferenceCase>);

// The warnings as the reader finds them reading piece by piece, the way
// that never takes the walk over whole blocks, at most read_size bytes a read.
std::vector<std::string> warnings_piece_by_piece(const Bytes& file, std::size_t read_size)
{
    MemorySource memory{file.data(), file.size(), 0, 0};
    const auto stream = std::make_unique<TextStream>();
    const auto context = std::make_unique<CheckContext>();
    text_stream_open(*stream, read_from_memory, &memory, read_size);
    WarningCollector collector;
    check_start(*context);
    char piece[kPieceBufferSize];
    while (read_text_line(piece, kPieceReadSize, *stream) != kEndOfInput) {
        handle_piece(*context, piece, stream->piece_size, &collector);
    }
    check_finish(*context);
    text_stream_count_rest(*stream);
    Findings findings{};
    collector.finish(*stream, *context, findings);
    std::vector<std::string> texts;
    for (const Warning& warning : findings.warnings) {
        texts.push_back(warning_text(warning));
    }
    return texts;
}

TEST(Explain, FindsTheWarningsThePieceByPieceReaderFinds)
{
    for (unsigned seed = 0; seed < 300; ++seed) {
        const Bytes file = to_bytes(datasig_test::FileMaker(seed).make());
        std::vector<std::string> walked;
        for (const Warning& warning : explain_bytes(file).warnings) {
            walked.push_back(warning_text(warning));
        }
        for (const std::size_t read_size : {std::size_t{7}, kTextBlockSize}) {
            ASSERT_EQ(walked, warnings_piece_by_piece(file, read_size))
                << "seed " << seed << ", read size " << read_size;
        }
    }
}

} // namespace
