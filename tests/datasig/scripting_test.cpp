// SPDX-License-Identifier: MIT
// datasig in scripts, the real binary: standard input for sign and explain,
// sign -i over many files, and check's lines while its list of names is
// still being written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/data_files.hpp"
#include "support/run_binary.hpp"
#include "support/temporary_folder.hpp"
#include "support/verdicts.hpp"

namespace {

namespace fs = std::filesystem;
using test_support::RunOptions;
using test_support::RunResult;
using test_support::TemporaryFolder;

std::string read_file(const std::string& path)
{
    std::ifstream in(test_support::utf8_path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(test_support::utf8_path(path), std::ios::binary) << bytes;
}

std::string fixture(const std::string& name)
{
    return test_support::data_path("tool/fixtures/files/" + name);
}

// What a file read from standard input gives is what the file named gives,
// CR LF line ends included: on Windows standard input must be read as bytes.
TEST(StandardInput, SignAndExplainReadItAsTheFileNamed)
{
    TemporaryFolder folder;
    std::string crlf;
    for (const char c : read_file(fixture("altered_content.txt"))) {
        crlf += c == '\n' ? "\r\n" : std::string(1, c);
    }
    const std::string name = folder / "crlf.txt";
    write_file(name, crlf);
    RunOptions options;
    options.binary_output = true;
    const RunResult named = test_support::run_binary(DATASIG_BINARY, {"sign", name}, options);
    const RunResult explained = test_support::run_binary(DATASIG_BINARY, {"explain", name});
    options.stdin_path = name;
    const RunResult piped = test_support::run_binary(DATASIG_BINARY, {"sign", "-"}, options);
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(piped.out, named.out);
    EXPECT_NE(piped.out, crlf);
    const RunResult to_file =
        test_support::run_binary(DATASIG_BINARY, {"sign", "-", "-o", folder / "out.txt"}, options);
    EXPECT_EQ(to_file.status, 0) << to_file.err;
    EXPECT_EQ(read_file(folder / "out.txt"), named.out);

    options.binary_output = false;
    const RunResult explained_piped = test_support::run_binary(DATASIG_BINARY, {"explain", "-"}, options);
    EXPECT_EQ(explained_piped.status, explained.status);
    const std::string first_line = "file: " + name + "\n";
    ASSERT_EQ(explained.out.rfind(first_line, 0), 0U) << explained.out;
    EXPECT_EQ(explained_piped.out, "file: -\n" + explained.out.substr(first_line.size()));
}

// Each file is signed on its own: the folder among them is named, and the
// files after it are signed all the same.
TEST(SignInPlace, SignsEveryFileItCanAndNamesTheOthers)
{
    TemporaryFolder folder;
    std::vector<std::string> args{"sign", "-i"};
    for (int i = 0; i < 10; ++i) {
        const std::string name = folder / ("f" + std::to_string(i));
        if (i == 3) {
            fs::create_directory(test_support::utf8_path(name));
        } else {
            write_file(name, read_file(fixture("unsigned.txt")) + "A file " + std::to_string(i) + "\n");
        }
        args.push_back(name);
    }
    const RunResult run = test_support::run_binary(DATASIG_BINARY, args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("datasig: cannot open " + args[5] + ": ", 0), 0U) << run.err;
    EXPECT_TRUE(run.err.ends_with("\ndatasig: 1 of 10 files could not be signed\n")) << run.err;
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (i != 5) {
            EXPECT_EQ(test_support::run_binary(VALIDATE_BINARY, {args[i]}).out, test_support::kPassed)
                << args[i];
        }
    }
}

// The check takes names as they come: each line is out while the list is
// still open, so that a pipeline sees each result as soon as it is known.
// The second file is one the check would take with the next ones, were it
// to wait for them.
TEST(CheckFilesFrom, WritesEachLineBeforeTheListEnds)
{
    SKIP_ON_WINDOWS("the test makes a named pipe");
    TemporaryFolder folder;
    const std::string good = folder / "good";
    write_file(good, read_file(test_support::data_path("../examples/calibration.dat")));
    const RunResult run = test_support::run_shell(
        "mkfifo \"$1/names\" || exit 9; "
        "$TEST_EMULATOR \"$0\" check --files-from \"$1/names\" >\"$1/out\" & pid=$!; "
        "exec 3>\"$1/names\"; "
        "for n in 1 2; do echo \"$2\" >&3; i=0; "
        "  while [ $i -lt 100 ] && [ \"$(grep -c OK \"$1/out\")\" -lt $n ]; do "
        "    sleep 0.1; i=$((i+1)); done; "
        "done; "
        "cat \"$1/out\"; echo before the end; echo \"$2\" >&3; exec 3>&-; "
        "wait $pid; status=$?; cat \"$1/out\"; exit $status",
        {DATASIG_BINARY, folder.path().string(), good});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string line = good + ": OK\n";
    EXPECT_EQ(run.out, line + line + "before the end\n" + line + line + line);
}

} // namespace
