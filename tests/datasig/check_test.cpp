// SPDX-License-Identifier: MIT
// datasig check, the real binary: a table of cases, and generated files
// whose every verdict must be validate's.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "datasig/check_files.hpp"
#include "core/sign.hpp"
#include "support/generated_files.hpp"
#include "support/data_files.hpp"
#include "support/run_binary.hpp"
#include "support/temporary_folder.hpp"
#include "support/verdicts.hpp"

namespace {

namespace fs = std::filesystem;
using test_support::RunResult;

void copy_example(const std::string& example, const fs::path& to)
{
    fs::create_directories(to.parent_path());
    fs::copy_file(test_support::data_path("../examples/" + example), to);
}

struct CheckCase {
    const char* name;
    std::vector<std::string> args;
    std::string out; // walked names with '/', which becomes the platform's separator
    std::string err;
    int status;
    const char* why_not_on_windows; // nullptr: the case runs everywhere
    const char* input = nullptr;     // the file given as standard input
};

void PrintTo(const CheckCase& c, std::ostream* out)
{
    *out << c.name;
}

const CheckCase kCases[] = {
    {"order given", {"bad", "good"}, "bad: FAILED\ngood: OK\n",
     "datasig: 1 of 2 files failed the check, 0 could not be read\n", 1, nullptr},
    {"all pass", {"good", "--jobs", "1", "good"}, "good: OK\ngood: OK\n", "", 0, nullptr},
    {"folder without r", {"dir", "--jobs=2", "good"}, "dir: FAILED open or read\ngood: OK\n",
     "datasig: dir: is a folder; -r checks the files in it\n"
     "datasig: 0 of 2 files failed the check, 1 could not be read\n", 1, nullptr},
    {"r walks in sorted order", {"-r", "dir", "good"},
     "dir/a: FAILED\ndir/b: OK\ndir/sub/c: OK\ngood: OK\n",
     "datasig: 1 of 4 files failed the check, 0 could not be read\n", 1, nullptr},
    {"missing", {"--", "missing"}, "missing: FAILED open or read\n",
     "datasig: missing: cannot open: No such file or directory\n"
     "datasig: 0 of 1 file failed the check, 1 could not be read\n", 1, nullptr},
    {"quiet", {"--quiet", "-r", "dir"}, "dir/a: FAILED\n",
     "datasig: 1 of 3 files failed the check, 0 could not be read\n", 1, nullptr},
    {"status", {"--status", "bad", "missing"}, "", "", 1, nullptr},
    {"status passing", {"--status", "good"}, "", "", 0, nullptr},
    {"empty folder", {"-r", "dir/empty"}, "", "datasig: no file to check\n", 1, nullptr},
    {"read fails", {"/proc/self/mem", "good"}, "/proc/self/mem: FAILED open or read\ngood: OK\n",
     "datasig: /proc/self/mem: cannot read: Input/output error\n"
     "datasig: 0 of 2 files failed the check, 1 could not be read\n", 1, "Windows has no /proc"},
    // A dangling link cannot be opened; a link to a folder is not followed.
    {"links", {"-r", "links"}, "links/gone: FAILED open or read\n",
     "datasig: links/gone: cannot open: No such file or directory\n"
     "datasig: 0 of 1 file failed the check, 1 could not be read\n", 1,
     "a symbolic link needs a privilege on Windows"},
    {"escaped names", {"back\\slash", "new\nline"}, "\\back\\\\slash: OK\n\\new\\nline: FAILED\n",
     "datasig: 1 of 2 files failed the check, 0 could not be read\n", 1,
     "Windows names hold no backslash or newline"},
    {"unsigned among the failed", {"-r", "mixed"},
     "mixed/a: FAILED\nmixed/p1: OK\nmixed/p2: OK\nmixed/p3: OK\nmixed/u1: FAILED\nmixed/u2: FAILED\n",
     "datasig: 3 of 6 files failed the check (2 unsigned), 0 could not be read\n", 1, nullptr},
    {"standard input", {"-", "good"}, "-: OK\ngood: OK\n", "", 0, nullptr, "good"},
    // The list's errors come in their place, and the check goes on.
    {"names then a list", {"good", "--files-from", "list"},
     "good: OK\nbad: FAILED\ndir: FAILED open or read\nmissing: FAILED open or read\n",
     "datasig: list line 2: empty name\n"
     "datasig: dir: is a folder; -r checks the files in it\n"
     "datasig: missing: cannot open: No such file or directory\n"
     "datasig: 1 of 4 files failed the check, 2 could not be read\n", 2, nullptr},
    {"list of NUL-ended names on standard input", {"-r", "--files-from=-", "-0"},
     "dir/a: FAILED\ndir/b: OK\ndir/sub/c: OK\ngood: OK\n",
     "datasig: 1 of 4 files failed the check, 0 could not be read\n", 1, nullptr, "list0"},
    {"names a list cannot hold", {"--files-from", "bad-names"}, "good: OK\n",
     "datasig: bad-names line 1: a name longer than 65536 bytes\n"
     "datasig: bad-names line 2: a name with a NUL byte (-0 reads names that NULs end)\n", 2,
     nullptr},
    {"list that cannot be opened", {"good", "--files-from", "nolist"}, "good: OK\n",
     "datasig: cannot open nolist: No such file or directory\n", 2, nullptr},
    {"list that cannot be read", {"--files-from", "/proc/self/mem"}, "",
     "datasig: /proc/self/mem line 1: cannot read: Input/output error\n"
     "datasig: no file to check\n", 2, "Windows has no /proc"},
};

void write_file(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class CheckCaseTest : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckCaseTest, WritesItsLinesAndStatus)
{
    const CheckCase& c = GetParam();
    if (c.why_not_on_windows != nullptr) {
        SKIP_ON_WINDOWS(c.why_not_on_windows);
    }
    test_support::TemporaryFolder folder;
    const fs::path& root = folder.path();
    copy_example("calibration.dat", root / "good");
    copy_example("calibration-altered.dat", root / "bad");
    copy_example("calibration-altered.dat", root / "dir/a");
    copy_example("calibration.dat", root / "dir/b");
    copy_example("calibration.dat", root / "dir/sub/c");
    fs::create_directory(root / "dir/empty");
    for (const char* name : {"a", "p1", "p2", "p3", "u1", "u2"}) {
        copy_example(name[0] == 'a' ? "calibration-altered.dat" : "calibration.dat",
                     root / "mixed" / name);
    }
    write_file(root / "mixed/u1", "A content\n");
    write_file(root / "mixed/u2", "B other content\r\n");
    write_file(root / "list", "bad\r\n\ndir\nmissing");
    write_file(root / "list0", std::string("dir\0good\0", 9));
    write_file(root / "bad-names",
               std::string(70000, 'x') + "\n" + std::string("go\0od\ngood\n", 11));
    if (!test_support::kWindows) {
        copy_example("calibration.dat", root / "back\\slash");
        copy_example("calibration-altered.dat", root / "new\nline");
        fs::create_directories(root / "links");
        fs::create_symlink("nothing", root / "links/gone");
        fs::create_directory_symlink("..", root / "links/up");
    }
    test_support::RunOptions options;
    options.directory = test_support::utf8_name(root);
    if (c.input != nullptr) {
        options.stdin_path = test_support::utf8_name(root / c.input);
    }
    std::vector<std::string> args{"check"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult run = test_support::run_binary(DATASIG_BINARY, args, options);
    std::string out = c.out;
    std::replace(out.begin(), out.end(), '/', static_cast<char>(fs::path::preferred_separator));
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(CheckCommand, CheckCaseTest, testing::ValuesIn(kCases),
                         test_support::case_name<CheckCase>);

// Signed, altered and unsigned files (LF, CR LF, a 0x1A ...) in folders,
// and files that cannot be opened or read: each line gives validate's
// verdict on the file alone, and every file has its line, in sorted order.
TEST(CheckCommand, GivesValidatesVerdictOnEveryGeneratedFile)
{
    test_support::TemporaryFolder folder;
    std::vector<std::string> names;
    for (unsigned i = 0; i < CHECK_GENERATED_FILES; ++i) {
        Bytes file = datasig_test::to_bytes(datasig_test::FileMaker(i).make());
        if (i % 3 != 0) {
            file = sign_bytes(file).output;
        }
        if (i % 3 == 2) {
            file[i % file.size()] ^= 0x20;
        }
        const std::string subfolder = std::string("d") + std::to_string(i % 7);
        const std::string name = subfolder + "/f" + std::to_string(i);
        fs::create_directories(folder.path() / subfolder);
        std::ofstream(folder.path() / name, std::ios::binary) << datasig_test::to_string(file);
        names.push_back(folder / name);
    }
    if (!test_support::kWindows) {
        fs::create_symlink("/proc/self/mem", folder.path() / "mem");
        fs::create_symlink("nothing", folder.path() / "zgone");
        names.push_back(folder / "mem");
        names.push_back(folder / "zgone");
    }
    std::sort(names.begin(), names.end());

    const auto datasig = [&](const std::string& option) {
        return test_support::run_binary(DATASIG_BINARY, {"check", "-r", option, folder / ""});
    };
    const RunResult run = datasig("--jobs=4");
    EXPECT_EQ(run.status, 1);
    std::istringstream lines(run.out);
    std::string expected_quiet;
    std::size_t at = 0;
    for (std::string line; std::getline(lines, line); ++at) {
        const std::size_t colon = line.rfind(": ");
        ASSERT_LT(at, names.size());
        ASSERT_EQ(line.substr(0, colon), names[at]);
        const RunResult verdict = test_support::run_binary(VALIDATE_BINARY, {names[at]});
        const std::string word = line.substr(colon + 2);
        EXPECT_EQ(word, verdict.status != 0            ? "FAILED open or read"
                        : verdict.out == test_support::kPassed ? "OK"
                                                               : "FAILED")
            << line;
        expected_quiet += word == "OK" ? "" : line + "\n";
    }
    EXPECT_EQ(at, names.size());

    const RunResult quiet = datasig("--quiet");
    EXPECT_EQ(quiet.out, expected_quiet);
    EXPECT_EQ(quiet.err, run.err);
    const RunResult status = datasig("--status");
    EXPECT_EQ(status.out + status.err, "");
    EXPECT_EQ(status.status, 1);
}

// The lines a terminal shows once it has been written text: a CR goes back
// to the line's start, where what follows writes over what was there.
std::string screen(const std::string& written)
{
    std::vector<std::string> lines(1);
    std::size_t column = 0;
    for (const char c : written) {
        if (c == '\r' || c == '\n') {
            column = 0;
            if (c == '\n') {
                lines.emplace_back();
            }
            continue;
        }
        std::string& line = lines.back();
        line.resize(std::max(line.size(), column + 1), ' ');
        line[column++] = c;
    }
    for (std::string& line : lines) {
        line.erase(line.find_last_not_of(' ') + 1);
    }
    if (lines.back().empty()) {
        lines.pop_back();
    }
    std::string shown;
    for (const std::string& line : lines) {
        shown += line + "\n";
    }
    return shown;
}

struct TerminalCase {
    const char* name;
    bool stdout_on_terminal;
};

void PrintTo(const TerminalCase& c, std::ostream* out)
{
    *out << c.name;
}

const TerminalCase kTerminalCases[] = {
    {"standard error alone", false},
    // Here each result line goes to the line the progress line is on.
    {"both streams", true},
};

class TerminalCaseTest : public testing::TestWithParam<TerminalCase> {};

// A run that takes over a second, with standard error on a terminal, draws
// its progress line there, erases it before each result line that goes to
// the same terminal, and erases it at the end. A pipe named as a file holds
// the run up until its bytes come, 2.5 s after the shell starts: a second
// and a half more than the line waits for, as a loaded machine may take
// most of a second to start a sanitized or emulated binary.
TEST_P(TerminalCaseTest, DrawsAndErasesItsProgressLineOnATerminal)
{
    SKIP_ON_WINDOWS("the test makes a pseudo-terminal and a named pipe");
    test_support::TemporaryFolder folder;
    copy_example("calibration.dat", folder.path() / "good");
    test_support::RunOptions options;
    options.stderr_on_terminal = true;
    options.stdout_on_terminal = GetParam().stdout_on_terminal;
    const RunResult run = test_support::run_shell(
        "mkfifo \"$2\" || exit 9; (sleep 2.5; cat \"$1\" >\"$2\") & "
        "exec $TEST_EMULATOR \"$0\" check \"$1\" \"$2\"",
        {DATASIG_BINARY, folder / "good", folder / "slow"}, options);
    EXPECT_EQ(run.status, 0) << run.err;
    // Appended one by one: GCC 12 warns falsely (-Wrestrict) on a literal
    // added to a temporary string.
    std::string out = folder / "good";
    out += ": OK\n";
    out += folder / "slow";
    out += ": OK\n";
    EXPECT_EQ(run.out, options.stdout_on_terminal ? "" : out);
    EXPECT_EQ(screen(run.err), options.stdout_on_terminal ? out : "") << run.err;
    const std::size_t drawn = run.err.find("\rchecked 1 of 2 files, ");
    ASSERT_NE(drawn, std::string::npos) << run.err;
    const std::size_t line_end = run.err.find(" MiB/s", drawn);
    ASSERT_NE(line_end, std::string::npos) << run.err;
    const std::size_t width = line_end + 6 - drawn - 1;
    std::string erased(width + 2, ' ');
    erased.front() = '\r';
    erased.back() = '\r';
    EXPECT_TRUE(run.err.ends_with(erased)) << run.err;
}

INSTANTIATE_TEST_SUITE_P(CheckCommand, TerminalCaseTest, testing::ValuesIn(kTerminalCases),
                         test_support::case_name<TerminalCase>);

// An exception on a checking thread ends the run, not the process: it is
// reported once, after the threads are joined, with status 2.
TEST(CheckCommand, AFailingCheckerEndsTheRunWithStatus2)
{
    test_support::TemporaryFolder folder;
    std::vector<std::string> names;
    for (int i = 0; i < 60; ++i) {
        std::string name = "f";
        name += std::to_string(i);
        copy_example("calibration.dat", folder.path() / name);
        names.push_back(folder / name);
    }
    CheckOptions options;
    options.jobs = 4;
    options.output = CheckOutput::nothing;
    options.before_check = [](const std::string& name) {
        if (name.ends_with("f17")) {
            throw std::runtime_error("a checker that throws");
        }
    };
    testing::internal::CaptureStderr();
    const int status = check_files(names, options);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "datasig: the check stopped: a checker that throws\n");
    EXPECT_EQ(status, 2);
}

} // namespace
