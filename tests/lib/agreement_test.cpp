// SPDX-License-Identifier: MIT
// The library finds, signs and explains as the tools' own code does, on
// generated files of every kind.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/explain.hpp"
#include "core/sign.hpp"
#include "support/generated_files.hpp"
#include "support/data_files.hpp"
#include "support/temporary_folder.hpp"
#include "validate.h"

namespace {

namespace fs = std::filesystem;

std::string read_text(const std::string& relative)
{
    std::ifstream in(test_support::data_path(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(LibraryAgreement, ChecksSignsAndExplainsAsTheTools)
{
    for (unsigned seed = 0; seed < 300; ++seed) {
        SCOPED_TRACE(seed);
        const Bytes file = datasig_test::to_bytes(datasig_test::FileMaker(seed).make());
        const Findings check = check_bytes(file);
        const Findings explanation = explain_bytes(file);
        validate_result result{};
        EXPECT_EQ(validate_check_bytes(file.data(), file.size(), &result),
                  passed(check) ? VALIDATE_PASSED : VALIDATE_ALTERED);
        EXPECT_EQ(std::memcmp(result.digest, check.digest, sizeof result.digest), 0);
        EXPECT_STREQ(result.expected[0], check.expected[0]);
        EXPECT_STREQ(result.expected[1], check.expected[1]);
        EXPECT_STREQ(result.found[0], check.found[0]);
        EXPECT_STREQ(result.found[1], check.found[1]);
        for (int slot = 0; slot < 2; ++slot) {
            EXPECT_EQ(result.found_line[slot], explanation.found_line[slot]);
        }
        EXPECT_STREQ(result.key_line, explanation.key_line);
        EXPECT_EQ(result.key_line_number, explanation.key_line_number);
        EXPECT_EQ(result.digested_pieces, explanation.digested_pieces);
        EXPECT_EQ(result.ignored_pieces, explanation.ignored_pieces);
        EXPECT_EQ(result.signature_pieces, explanation.signature_pieces);

        std::string report(1 << 16, '\0');
        std::size_t length = 0;
        validate_explain(file.data(), file.size(), "f.dat", report.data(), report.size(), &length);
        report.resize(length);
        EXPECT_EQ(report, format_explanation(explanation, "f.dat") +
                              (passed(check) ? kPassedVerdict : kFailedVerdict));

        const SignResult signed_file = sign_bytes(file);
        Bytes out(validate_sign_bound(file.size()));
        std::size_t size = 0;
        EXPECT_EQ(validate_sign(file.data(), file.size(), out.data(), out.size(), &size),
                  signed_file.signed_ok ? VALIDATE_PASSED : VALIDATE_ERROR_SIGN);
        out.resize(size);
        EXPECT_EQ(out, signed_file.output);
    }
}

// Many files at once, most signed and so with key lines of their own, among
// them a missing file, a folder and a null path: each result is the one
// file's, also when the checker's key set-ups are reused.
TEST(LibraryAgreement, ChecksManyFilesAsEachAlone)
{
    test_support::TemporaryFolder folder;
    std::vector<std::string> names;
    for (unsigned seed = 0; seed < 30; ++seed) {
        Bytes file = datasig_test::to_bytes(datasig_test::FileMaker(seed).make());
        if (const SignResult signed_file = sign_bytes(file); seed % 3 != 0 && signed_file.signed_ok) {
            file = signed_file.output;
        }
        names.push_back(folder / (std::to_string(seed) + ".dat"));
        std::ofstream(names.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    names.insert(names.begin() + 5, folder / "missing.dat");
    names.insert(names.begin() + 11, test_support::utf8_name(folder.path()));
    std::vector<const char*> paths;
    for (const std::string& name : names) {
        paths.push_back(name.c_str());
    }
    paths.insert(paths.begin() + 14, nullptr);

    validate_checker* checker = validate_checker_new();
    ASSERT_NE(checker, nullptr);
    for (int round = 0; round < 2; ++round) {
        std::vector<validate_result> results(paths.size());
        const validate_status status =
            validate_checker_check_files(checker, paths.data(), paths.size(), results.data());
        validate_status first_not_passed = VALIDATE_PASSED;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            SCOPED_TRACE(i);
            validate_result alone{};
            const validate_status expected = paths[i] == nullptr
                                                 ? (alone.status = VALIDATE_ERROR_ARGUMENT)
                                                 : validate_check_file(paths[i], &alone);
            EXPECT_EQ(results[i].status, expected);
            EXPECT_EQ(std::memcmp(&results[i], &alone, sizeof alone), 0);
            if (first_not_passed == VALIDATE_PASSED) {
                first_not_passed = expected;
            }
        }
        EXPECT_EQ(status, first_not_passed);
    }
    validate_checker_free(checker);
}

// A key line as the library's result and explain's report show it: its
// first piece of at most 79 characters, cut to 51 for the key.
struct KeyLineCase {
    const char* name;
    std::string line;
    std::size_t shown; // its first characters that make the key line
};

void PrintTo(const KeyLineCase& c, std::ostream* out)
{
    *out << c.name;
}

const std::string kKey = "HQDHWHARDWAREVERSION ";

const KeyLineCase kKeyLineCases[] = {
    {"51 characters", kKey + std::string(30, 'r'), 51},
    {"79 characters", kKey + std::string(58, 'r'), 79},
    {"80 characters", kKey + std::string(58, 'r') + "A", 79},
    {"90 characters", kKey + std::string(58, 'r') + "z" + std::string(10, 'r'), 79},
    {"200 characters", kKey + std::string(58, 'r') + "B" + std::string(120, 'r'), 79},
};

class KeyLineCaseTest : public testing::TestWithParam<KeyLineCase> {};

TEST_P(KeyLineCaseTest, ShowsTheKeyLineAsRead)
{
    const KeyLineCase& c = GetParam();
    const std::string file = c.line + "\nA1\n";
    const std::string key_line = c.line.substr(0, c.shown);
    validate_result result{};
    validate_check_bytes(file.data(), file.size(), &result);
    EXPECT_EQ(result.key_line, key_line);
    EXPECT_EQ(result.key_line_number, 1U);

    std::string report(1 << 16, '\0');
    std::size_t length = 0;
    validate_explain(file.data(), file.size(), "f", report.data(), report.size(), &length);
    report.resize(length);
    std::string shown = "key line: line 1: " + key_line + "\n";
    if (c.shown > 51) {
        shown += "  cut from " + std::to_string(c.shown) + " to its first 51 characters in the key: " +
                 key_line.substr(0, 51) + "\n";
    }
    shown += "digest: ";
    EXPECT_NE(report.find(shown), std::string::npos) << report;
}

INSTANTIATE_TEST_SUITE_P(LibraryAgreement, KeyLineCaseTest, testing::ValuesIn(kKeyLineCases),
                         test_support::case_name<KeyLineCase>);

// The reports datasig explain is held to, kept beside its test: the
// library's report on the same bytes, under the same name, is the same.
class LibraryExplainReport : public testing::TestWithParam<test_support::DataLine> {};

TEST_P(LibraryExplainReport, IsTheKeptReport)
{
    const std::string& file = GetParam().fields.at(1);
    const std::string data = read_text(file);
    const std::string expected = read_text("datasig/explain/" + GetParam().fields.at(0));
    ASSERT_FALSE(expected.empty());
    std::string report(1 << 16, '\0');
    std::size_t length = 0;
    const validate_status status =
        validate_explain(data.data(), data.size(), fs::path(file).filename().string().c_str(),
                         report.data(), report.size(), &length);
    report.resize(length);
    EXPECT_EQ(report, expected);
    EXPECT_EQ(status, expected.ends_with(kPassedVerdict) ? VALIDATE_PASSED : VALIDATE_ALTERED);
}

INSTANTIATE_TEST_SUITE_P(LibraryAgreement, LibraryExplainReport,
                         testing::ValuesIn(test_support::read_data_lines("datasig/explain/reports.tsv", '\t')),
                         [](const testing::TestParamInfo<test_support::DataLine>& row) {
                             return test_support::identifier(fs::path(row.param.fields.at(0)).stem().string());
                         });

} // namespace
