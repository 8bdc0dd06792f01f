// SPDX-License-Identifier: MIT
// Runs the validate binary on good, altered and malformed files and checks its
// standard output, that standard error stays empty, and its exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/data_files.hpp"
#include "support/run_binary.hpp"
#include "support/temporary_folder.hpp"
#include "support/verdicts.hpp"

namespace {

using test_support::DataLine;
using test_support::RunResult;

using test_support::kFailed;
using test_support::kPassed;

std::string fixtures()
{
    return test_support::data_path("tool/fixtures/files");
}

RunResult validate(const std::vector<std::string>& args)
{
    return test_support::run_binary(VALIDATE_BINARY, args, {fixtures(), ""});
}

std::string unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

const std::vector<DataLine>& verdicts()
{
    static const auto rows = test_support::read_data_lines("tool/fixtures/verdicts.tsv", '\t');
    return rows;
}

class FixtureVerdict : public testing::TestWithParam<DataLine> {};

TEST_P(FixtureVerdict, PrintsTheExpectedVerdict)
{
    const auto& f = GetParam().fields;
    ASSERT_EQ(f.size(), 3U);
    const RunResult run = validate({f[0]});
    EXPECT_EQ(run.out, unescape(f[1]));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, std::stoi(f[2]));
}

INSTANTIATE_TEST_SUITE_P(Fixture, FixtureVerdict, testing::ValuesIn(verdicts()),
                         [](const testing::TestParamInfo<DataLine>& row) {
                             return test_support::identifier(row.param.fields[0]);
                         });

TEST(FixtureVerdicts, TableIsComplete)
{
    EXPECT_EQ(verdicts().size(), 13U);
}

struct CommandLineCase {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    int status;
};

std::string cant_open(const std::string& name)
{
    return "\nvalidate: can't open " + name + "\n\n\n";
}

const CommandLineCase kCommandLineCases[] = {
    {"no argument", {}, "\nvalidate: No file specified\n\n\n", test_support::kStatusMinusOne},
    {"missing last", {"signed_lf.txt", "missing.txt"}, cant_open("missing.txt"), 1},
    {"missing first", {"missing.txt", "signed_lf.txt"}, cant_open("missing.txt"), 1},
    {"a directory", {"."}, cant_open("."), 1},
    {"a directory first", {"..", "signed_lf.txt"}, cant_open(".."), 1},
    {"only the last is examined", {"altered_content.txt", "signed_lf.txt"}, kPassed, 0},
    {"only the last is examined again", {"signed_lf.txt", "altered_content.txt"}, kFailed, 0},
    {"name with a format", {"100%s %d %n.txt"}, cant_open("100%s %d %n.txt"), 1},
    {"empty name", {""}, cant_open(""), 1},
};

void PrintTo(const CommandLineCase& c, std::ostream* out)
{
    *out << c.name;
}

class CommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, PrintsTheMessageAndExitsWithItsStatus)
{
    const RunResult run = validate(GetParam().args);
    EXPECT_EQ(run.out, GetParam().out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Validate, CommandLine, testing::ValuesIn(kCommandLineCases),
                         test_support::case_name<CommandLineCase>);

TEST(Examples, TheSignedExamplePassesAndItsAlteredCopyFails)
{
    const std::string examples = test_support::data_path("../examples");
    const RunResult signed_run = test_support::run_binary(VALIDATE_BINARY, {"calibration.dat"}, {examples, ""});
    EXPECT_EQ(signed_run.out, kPassed);
    EXPECT_EQ(signed_run.status, 0);
    const RunResult altered_run =
        test_support::run_binary(VALIDATE_BINARY, {"calibration-altered.dat"}, {examples, ""});
    EXPECT_EQ(altered_run.out, kFailed);
    EXPECT_EQ(altered_run.status, 0);
}

TEST(CommandLine, AFileThatOpensButCannotBeReadGivesNoVerdict)
{
    // Opening /proc/self/mem succeeds; reading at offset 0 fails.
    SKIP_ON_WINDOWS("Windows has no file that opens but cannot be read");
    if (!std::filesystem::exists("/proc/self/mem")) {
        GTEST_SKIP() << "no /proc/self/mem here";
    }
    const RunResult run = validate({"/proc/self/mem"});
    EXPECT_EQ(run.out, "\nvalidate: can't read /proc/self/mem\n\n\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
}

TEST(CommandLine, AVerdictThatCannotBeWrittenLineByLineExitsWith1)
{
    SKIP_ON_WINDOWS("Windows has no /dev/full");
    const RunResult run = test_support::run_shell(
        "exec stdbuf -oL $TEST_EMULATOR \"$0\" \"$1\" >/dev/full", {VALIDATE_BINARY, test_support::data_path("../examples/calibration.dat")});
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
}

// Files of some megabytes, across many reads, signed by datasig: they must
// pass, and fail once a content byte far past the first read changes.
class GeneratedFile : public testing::TestWithParam<std::string> {};

TEST_P(GeneratedFile, PassesAndFailsOnceAltered)
{
    const test_support::TemporaryFolder folder;
    const std::string path = folder / "generated.dat";
    const std::string eol = GetParam() == "crlf" ? "\r\n" : "\n";
    std::string bytes = "HQDHWHARDWAREVERSION 4.2 generated" + eol;
    for (std::size_t i = 0; bytes.size() < 3000000; ++i) {
        bytes += "ABCH#"[i % 5] + (" line " + std::to_string(i)) + std::string(i % 97, 'x') + eol;
    }
    std::ofstream(test_support::utf8_path(path), std::ios::binary) << bytes;
    ASSERT_EQ(test_support::run_binary(DATASIG_BINARY, {"sign", "-i", path}).status, 0);
    const RunResult run = test_support::run_binary(VALIDATE_BINARY, {path});
    EXPECT_EQ(run.out, kPassed);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);

    std::fstream file(test_support::utf8_path(path), std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(bytes.find(eol + "A", 1500000) + eol.size() + 5));
    file.put('!');
    file.close();
    EXPECT_EQ(test_support::run_binary(VALIDATE_BINARY, {path}).out, kFailed);
}

INSTANTIATE_TEST_SUITE_P(Validate, GeneratedFile, testing::Values("lf", "crlf"),
                         [](const testing::TestParamInfo<std::string>& row) { return row.param; });

} // namespace
