// SPDX-License-Identifier: MIT
// datasig explain, the real binary, on a table of files: each report whole,
// to the character, against the one kept beside the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/data_files.hpp"
#include "support/run_binary.hpp"
#include "support/temporary_folder.hpp"
#include "support/verdicts.hpp"

namespace {

namespace fs = std::filesystem;

std::string read_text(const std::string& relative)
{
    std::ifstream in(test_support::utf8_path(test_support::data_path(relative)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ExplainReport : public testing::TestWithParam<test_support::DataLine> {};

// Run where the file lies, so that the report names it as the kept one does.
TEST_P(ExplainReport, IsTheKeptReport)
{
    const std::string& report = GetParam().fields.at(0);
    const fs::path file = test_support::utf8_path(test_support::data_path(GetParam().fields.at(1)));
    test_support::RunOptions options;
    options.directory = test_support::utf8_name(file.parent_path());
    const test_support::RunResult run = test_support::run_binary(
        DATASIG_BINARY, {"explain", test_support::utf8_name(file.filename())}, options);
    const std::string expected = read_text("datasig/explain/" + report);
    ASSERT_FALSE(expected.empty()) << report;
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, expected.ends_with(test_support::kPassed) ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Explain, ExplainReport,
                         testing::ValuesIn(test_support::read_data_lines("datasig/explain/reports.tsv", '\t')),
                         [](const testing::TestParamInfo<test_support::DataLine>& row) {
                             return test_support::identifier(fs::path(row.param.fields.at(0)).stem().string());
                         });

} // namespace
