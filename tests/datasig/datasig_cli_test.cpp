// SPDX-License-Identifier: MIT
// Runs the datasig binary beside validate: explain gives validate's verdict
// on every fixture, signed files pass validate, and a failed write leaves
// the original as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/sign.hpp"
#include "support/generated_files.hpp"
#include "support/data_files.hpp"
#include "support/run_binary.hpp"
#include "support/temporary_folder.hpp"
#include "support/verdicts.hpp"

namespace {

namespace fs = std::filesystem;
using test_support::RunResult;
using test_support::TemporaryFolder;

using test_support::kFailed;
using test_support::kPassed;

RunResult datasig(const std::vector<std::string>& args)
{
    return test_support::run_binary(DATASIG_BINARY, args);
}

RunResult validate(const std::string& file)
{
    return test_support::run_binary(VALIDATE_BINARY, {file});
}

std::string fixture(const std::string& name)
{
    return test_support::data_path("tool/fixtures/files/" + name);
}

std::string read_file(const std::string& path)
{
    std::ifstream in(test_support::utf8_path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(test_support::utf8_path(path), std::ios::binary) << bytes;
}

bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> fixture_names()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fixture(""))) {
        names.push_back(test_support::utf8_name(entry.path().filename()));
    }
    return names;
}

class ExplainFixture : public testing::TestWithParam<std::string> {};

TEST_P(ExplainFixture, EndsWithValidatesVerdict)
{
    const RunResult verdict = validate(fixture(GetParam()));
    const RunResult explained = datasig({"explain", fixture(GetParam())});
    ASSERT_EQ(verdict.status, 0);
    EXPECT_TRUE(ends_with(explained.out, verdict.out)) << explained.out;
    EXPECT_EQ(explained.status, verdict.out == kPassed ? 0 : 1);
    EXPECT_EQ(explained.err, "");
}

INSTANTIATE_TEST_SUITE_P(Fixture, ExplainFixture, testing::ValuesIn(fixture_names()),
                         [](const testing::TestParamInfo<std::string>& row) {
                             return test_support::identifier(row.param);
                         });

TEST(ExplainFixtures, AllAreThere)
{
    EXPECT_EQ(fixture_names().size(), 13U);
}

TEST(Explain, ReportsTheSignedExample)
{
    const RunResult run = datasig({"explain", test_support::data_path("../examples/calibration.dat")});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("pieces: 7 digested, 2 ignored, 2 signature\n"), std::string::npos);
    EXPECT_NE(run.out.find("key line: line 1: HQDHWHARDWAREVERSION 3.1 rev B\n"), std::string::npos);
    EXPECT_NE(run.out.find("warnings: none\n" + kPassed), std::string::npos) << run.out;
}

TEST(Explain, ReportsAWarningWithItsLine)
{
    const RunResult run = datasig({"explain", fixture("long_line_pieces.txt")});
    EXPECT_NE(run.out.find("  line 2: characters 80-104 are not checked: this part of a long line "
                           "begins with 'z', not A, B, C or H\n"),
              std::string::npos)
        << run.out;
}

// What a command line that does nothing to a file writes: help to standard
// output with status 0, a usage error to standard error with status 2.
struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    std::string begins;
    const char* whole = nullptr; // a file beside the test that holds the whole text
    int status = 2;
};

void PrintTo(const UsageCase& c, std::ostream* out)
{
    *out << c.name;
}

const UsageCase kUsageCases[] = {
    {"help", {"--help"}, "", "datasig/usage/help.txt", 0},
    {"h", {"-h"}, "", "datasig/usage/help.txt", 0},
    {"no command", {}, "", "datasig/usage/no_command.txt"},
    {"unknown command", {"verify", "f"}, "datasig: unknown command verify\n"},
    {"sign without a file", {"sign"}, "datasig: sign needs a file\n"},
    {"sign with two files", {"sign", "a", "b"}, "datasig: sign takes one file\n"},
    {"o with two files", {"sign", "-o", "x", "a", "b"}, "datasig: sign takes one file\n"},
    {"i with standard input", {"sign", "-i", "a", "-"}, "datasig: -i cannot replace standard input\n"},
    {"o without a name", {"sign", "f", "-o"}, "datasig: option -o needs a file name\n"},
    {"o and i", {"sign", "-i", "-o", "x", "f"}, "datasig: -o and -i cannot be used together\n"},
    {"unknown option", {"sign", "-x", "f"}, "datasig: unknown option -x\n"},
    {"explain without a file", {"explain"}, "datasig: explain takes one file\n"},
    {"explain with an option", {"explain", "-i"}, "datasig: unknown option -i\n"},
    {"check without a file", {"check", "-r"}, "datasig: check needs a file or a folder\n"},
    {"check with no jobs", {"check", "--jobs", "0", "f"}, "datasig: --jobs needs a number from 1 to 256\n"},
    {"quiet and status", {"check", "--quiet", "--status", "f"}, "datasig: --quiet and --status cannot"},
    {"json and status", {"check", "--json", "--status", "f"}, "datasig: --json and --status cannot"},
    {"check with an option", {"check", "-x", "f"}, "datasig: unknown option -x\n"},
    {"files-from without a list", {"check", "--files-from"}, "datasig: --files-from needs the name"},
    {"null without a list", {"check", "-0", "f"}, "datasig: -0 and --null are for the names of"},
    {"standard input twice", {"check", "-", "--files-from=-"}, "datasig: standard input (-) can be"},
    {"missing file", {"explain", "/nonexistent/f"}, "datasig: cannot open /nonexistent/f: No such file"},
    {"missing file as JSON", {"explain", "--json", "/nonexistent/f"}, "datasig: cannot open /nonexistent/f"},
    {"a folder", {"sign", "/"}, "datasig: cannot open /: Is a directory"},
    {"a folder as output", {"sign", "-o", "/", fixture("unsigned.txt")},
     "datasig: cannot replace /: not a regular file; / is left as it was\n"},
};

class UsageCaseTest : public testing::TestWithParam<UsageCase> {};

TEST_P(UsageCaseTest, WritesItsTextWithItsStatus)
{
    const UsageCase& c = GetParam();
    const RunResult run = datasig(c.args);
    EXPECT_EQ(run.status, c.status);
    const std::string& text = c.status == 0 ? run.out : run.err;
    EXPECT_EQ(c.status == 0 ? run.err : run.out, "");
    EXPECT_EQ(text.rfind(c.begins, 0), 0U) << text;
    if (c.whole != nullptr) {
        EXPECT_EQ(text, read_file(test_support::data_path(c.whole)));
    }
}

INSTANTIATE_TEST_SUITE_P(Usage, UsageCaseTest, testing::ValuesIn(kUsageCases),
                         test_support::case_name<UsageCase>);

TEST(Usage, HelpAndVersion)
{
    const RunResult help = datasig({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: datasig sign [-o OUT] FILE\n", 0), 0U);
    EXPECT_EQ(help.err, "");
    const RunResult version = datasig({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "datasig " PROJECT_VERSION_TEXT "\n");
}

// The signed bytes go out as they are, CR LF line ends included.
TEST(Sign, WritesToStandardOutputAFileThatValidatePasses)
{
    TemporaryFolder folder;
    std::string crlf;
    for (const char c : read_file(fixture("altered_content.txt"))) {
        crlf += c == '\n' ? "\r\n" : std::string(1, c);
    }
    write_file(folder / "crlf.txt", crlf);
    for (const std::string& name : {fixture("altered_content.txt"), folder / "crlf.txt"}) {
        test_support::RunOptions options;
        options.binary_output = true;
        const RunResult run = test_support::run_binary(DATASIG_BINARY, {"sign", name}, options);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        write_file(folder / "signed.txt", run.out);
        EXPECT_EQ(validate(folder / "signed.txt").out, kPassed) << name;
        EXPECT_EQ(read_file(name).size(), run.out.size());
    }
}

TEST(Sign, WarnsWhenALongLineThatBeginsWithGIsDropped)
{
    TemporaryFolder folder;
    const std::string name = folder / "long-g.txt";
    write_file(name, "A1\nG" + std::string(78, 'x') + "A checked part\nGshort\n");
    test_support::RunOptions options;
    options.binary_output = true;
    const RunResult run = test_support::run_binary(DATASIG_BINARY, {"sign", name}, options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "datasig: " + name +
                           ": line 2 begins with G and is longer than 79 characters: dropped whole, "
                           "with any checked content past its 79th character\n");
    EXPECT_EQ(run.out.rfind("A1\nG", 0), 0U);
}

TEST(Sign, ReportsAStandardOutputThatCannotBeWritten)
{
    SKIP_ON_WINDOWS("Windows has no /dev/full");
    const RunResult run =
        test_support::run_binary(DATASIG_BINARY, {"sign", fixture("unsigned.txt")}, {"", "/dev/full"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("datasig: cannot write standard output", 0), 0U) << run.err;
}

TEST(Sign, GeneratedFilesSignedByTheBinaryPassValidate)
{
    TemporaryFolder folder;
    for (unsigned seed = 0; seed < 30; ++seed) {
        const std::string file = datasig_test::FileMaker(seed * 7 + 3).make();
        const std::string name = folder / ("file" + std::to_string(seed));
        write_file(name, file);
        const RunResult run = datasig({"sign", name, "-o", name + ".signed"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(validate(name + ".signed").out, kPassed) << "seed " << seed * 7 + 3;
        EXPECT_EQ(datasig_test::to_bytes(read_file(name + ".signed")),
                  sign_bytes(datasig_test::to_bytes(file)).output);
    }
}

TEST(Sign, OutputFileGetsTheUsualPermissions)
{
    SKIP_ON_WINDOWS("a new file's permissions come from its folder on Windows");
    TemporaryFolder folder;
    const RunResult run =
        test_support::run_shell("umask 022 && exec $TEST_EMULATOR \"$0\" sign -o \"$1\" \"$2\"",
                                {DATASIG_BINARY, folder / "out.txt", fixture("unsigned.txt")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fs::status(folder / "out.txt").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    EXPECT_EQ(folder.names().size(), 1U);
}

// An existing target is replaced, named as the platform names files (on
// Windows a path with a drive and backslashes), given -o in either form or -i.
TEST(Sign, ReplacesAnExistingTarget)
{
    TemporaryFolder folder;
    const std::string target = folder / "data.txt";
    const std::vector<std::vector<std::string>> commands = {
        {"sign", "-i", target},
        {"sign", "-o", target, fixture("altered_content.txt")},
        {"sign", "-o" + target, fixture("unsigned.txt")},
    };
    for (const auto& command : commands) {
        write_file(target, read_file(fixture("altered_content.txt")) + "A changed\n");
        const RunResult run = datasig(command);
        EXPECT_EQ(run.status, 0) << command[1] << ": " << run.err;
        EXPECT_EQ(validate(target).out, kPassed) << command[1];
        EXPECT_EQ(folder.names(), std::vector<std::string>{"data.txt"});
    }
    if (test_support::kWindows) {
        return;
    }
    // With standard input closed, the new file gets descriptor 0.
    for (const std::string option : {"-i \"$1\"", "-o \"$1\" \"$2\""}) {
        write_file(target, read_file(fixture("altered_content.txt")));
        const RunResult run =
            test_support::run_shell("exec 0<&- && exec $TEST_EMULATOR \"$0\" sign " + option,
                                    {DATASIG_BINARY, target, fixture("unsigned.txt")});
        EXPECT_EQ(run.status, 0) << option << ": " << run.err;
        EXPECT_EQ(validate(target).out, kPassed) << option;
        EXPECT_EQ(folder.names(), std::vector<std::string>{"data.txt"}) << option;
    }
}

TEST(SignInPlace, ReplacesTheFileAndKeepsItsPermissions)
{
    SKIP_ON_WINDOWS("Windows has no permission bits for group and others");
    TemporaryFolder folder;
    const std::string name = folder / "data.txt";
    write_file(name, read_file(fixture("unsigned.txt")));
    fs::permissions(name, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const RunResult run = datasig({"sign", "-i", name});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(validate(name).out, kPassed);
    EXPECT_EQ(fs::status(name).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"data.txt"});
}

TEST(SignInPlace, FollowsASymbolicLink)
{
    SKIP_ON_WINDOWS("a symbolic link needs a privilege on Windows");
    TemporaryFolder folder;
    write_file(folder / "data.txt", read_file(fixture("unsigned.txt")));
    fs::create_symlink("data.txt", folder / "link.txt");
    ASSERT_EQ(datasig({"sign", "-i", folder / "link.txt"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(folder / "link.txt"));
    EXPECT_EQ(validate(folder / "data.txt").out, kPassed);
}

TEST(SignInPlace, MissingFileCreatesNothing)
{
    TemporaryFolder folder;
    const RunResult run = datasig({"sign", "-i", folder / "missing.txt"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cannot open"), std::string::npos);
    EXPECT_TRUE(folder.names().empty());
}

// The original, byte for byte, and nothing else in its folder.
void expect_untouched(const TemporaryFolder& folder, const std::string& original)
{
    EXPECT_EQ(read_file(folder / "data.txt"), original);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"data.txt"});
}

TEST(SignInPlace, ReadOnlyFileLeavesTheOriginalOnWindows)
{
    if (!test_support::kWindows) {
        GTEST_SKIP() << "POSIX replaces a read-only file in a folder it may write to";
    }
    TemporaryFolder folder;
    const std::string original = read_file(fixture("unsigned.txt"));
    write_file(folder / "data.txt", original);
    fs::permissions(test_support::utf8_path(folder / "data.txt"), fs::perms::owner_read);
    const RunResult run = datasig({"sign", "-i", folder / "data.txt"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("is left as it was"), std::string::npos) << run.err;
    EXPECT_EQ(read_file(folder / "data.txt"), original);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"data.txt"});
    fs::permissions(test_support::utf8_path(folder / "data.txt"), fs::perms::owner_all);
}

TEST(SignInPlace, ReadOnlyFolderLeavesTheOriginal)
{
    SKIP_ON_WINDOWS("a read-only folder still takes new files on Windows");
    TemporaryFolder folder;
    const std::string original = read_file(fixture("unsigned.txt"));
    write_file(folder / "data.txt", original);
    // Root writes into a read-only folder all the same: run as nobody then,
    // from a copy of the binary that nobody can reach.
    fs::copy_file(DATASIG_BINARY, folder / "datasig");
    fs::permissions(folder / "data.txt", fs::perms::owner_read | fs::perms::owner_write |
                                             fs::perms::group_read | fs::perms::others_read);
    fs::permissions(folder.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                       fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
    const RunResult run = test_support::run_shell(
        "as_nobody=; [ \"$(id -u)\" -ne 0 ] || as_nobody='setpriv --reuid=65534 --regid=65534 "
        "--clear-groups'; exec $as_nobody $TEST_EMULATOR \"$0\" sign -i \"$1\"",
        {folder / "datasig", folder / "data.txt"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cannot create a temporary file"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("is left as it was"), std::string::npos) << run.err;
    EXPECT_EQ(read_file(folder / "data.txt"), original);
    EXPECT_EQ(folder.names().size(), 2U);
}

TEST(SignInPlace, FullDiskLeavesTheOriginal)
{
    SKIP_ON_WINDOWS("Windows has no limit on file size that a test can set");
    TemporaryFolder folder;
    // Bigger than the file size limit below, so the write fails part way.
    std::string original = read_file(fixture("unsigned.txt"));
    while (original.size() < 16 * 1024) {
        original += "A another line of content for a file larger than the limit\n";
    }
    write_file(folder / "data.txt", original);
    // With SIGXFSZ ignored, a write past the file size limit fails with EFBIG,
    // as a write to a full disk fails with ENOSPC.
    const RunResult run = test_support::run_shell(
        "ulimit -f 8 && trap '' XFSZ && exec $TEST_EMULATOR \"$0\" sign -i \"$1\"",
        {DATASIG_BINARY, folder / "data.txt"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
    expect_untouched(folder, original);
}

TEST(SignInPlace, AlreadySignedFileIsLeftAlone)
{
    TemporaryFolder folder;
    const std::string original = read_file(fixture("signed_crlf.txt"));
    write_file(folder / "data.txt", original);
    // A second name for the file itself: a replacement would be another file.
    fs::create_hard_link(test_support::utf8_path(folder / "data.txt"), folder.path() / "link");
    EXPECT_EQ(datasig({"sign", "-i", folder / "data.txt"}).status, 0);
    EXPECT_TRUE(fs::equivalent(folder.path() / "link", test_support::utf8_path(folder / "data.txt")));
    fs::remove(folder.path() / "link");
    expect_untouched(folder, original);
}

TEST(SignOutput, MissingFolderWritesNothing)
{
    TemporaryFolder folder;
    const RunResult run = datasig({"sign", fixture("unsigned.txt"), "-o", folder / "no/out.txt"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cannot create a temporary file"), std::string::npos) << run.err;
    EXPECT_TRUE(folder.names().empty());
}

} // namespace
