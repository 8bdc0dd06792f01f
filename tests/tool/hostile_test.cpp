// SPDX-License-Identifier: MIT
// Files and command lines no one should give a checker, run through the real
// binary: it must give its usual answers, with nothing on standard error.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "check/check.hpp"
#include "crypto/sha512.hpp"
#include "support/data_files.hpp"
#include "support/digest.hpp"
#include "support/run_binary.hpp"
#include "support/temporary_folder.hpp"
#include "support/verdicts.hpp"

namespace {

namespace fs = std::filesystem;
using test_support::RunResult;

using test_support::kFailed;
using test_support::kPassed;

class HostileInput : public testing::Test {
protected:
    // name is UTF-8.
    std::string write_file(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(folder_.path() / test_support::utf8_path(name), std::ios::binary) << bytes;
        return name;
    }

    RunResult validate(const std::vector<std::string>& args, test_support::RunOptions options = {}) const
    {
        options.directory = test_support::utf8_name(folder_.path());
        return test_support::run_binary(VALIDATE_BINARY, args, options);
    }

    test_support::TemporaryFolder folder_{"validate-hostile-"};
};

// The two signature lines for content whose digested bytes are given, under
// the given key line (its first 51 characters make the key prefix).
std::string signature_lines(const std::string& digested, const std::string& key_line)
{
    const std::string digest = test_support::sha512_of(digested);
    static CheckContext context;
    set_key_prefix(context, key_line.c_str(), key_line.size());
    char first[kSignatureLineSize];
    char second[kSignatureLineSize];
    make_signature_lines(context, reinterpret_cast<const unsigned char*>(digest.data()), kDigestSize,
                         first, second);
    return std::string(first) + second;
}

std::string example()
{
    std::ifstream in(test_support::data_path("../examples/calibration.dat"), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void expect_verdict(const RunResult& run, const std::string& verdict)
{
    EXPECT_EQ(run.out, verdict);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

TEST_F(HostileInput, OneMebibyteOfRandomBytesFails)
{
    std::mt19937 random(2026);
    std::string bytes(1 << 20, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    expect_verdict(validate({write_file("random.bin", bytes)}), kFailed);
}

TEST_F(HostileInput, AHundredThousandLongCommentLinesChangeNothing)
{
    // Every piece of these lines begins with '#' or 'x': none is checked.
    std::string bytes = example();
    const std::string comment = "#" + std::string(400, 'x') + "\r\n";
    std::string comments;
    comments.reserve(comment.size() * 100000);
    for (int i = 0; i < 100000; ++i) {
        comments += comment;
    }
    bytes.insert(bytes.find('\n') + 1, comments);
    expect_verdict(validate({write_file("long-comments.dat", bytes)}), kPassed);
}

TEST_F(HostileInput, AHundredThousandLongContentLinesAreDigestedWhole)
{
    // Each line is four pieces, each beginning with a content class.
    const std::string piece = std::string(79, 'A');
    const std::string line = piece + 'B' + std::string(78, 'b') + 'C' + std::string(78, 'c') + "H tail";
    std::string bytes;
    std::string digested;
    for (int i = 0; i < 100000; ++i) {
        bytes += line + "\n";
        digested += line;
    }
    bytes += signature_lines(digested, "");
    expect_verdict(validate({write_file("long-content.dat", bytes)}), kPassed);

    bytes[79] = 'x'; // the second piece of the first line is now ignored
    expect_verdict(validate({write_file("long-content-altered.dat", bytes)}), kFailed);
}

TEST_F(HostileInput, AKeyLineOf79CharactersKeysWithItsFirst51)
{
    const std::string key_line = "HQDHWHARDWAREVERSION " + std::string(58, '7');
    ASSERT_EQ(key_line.size(), 79U);
    const std::string content = key_line + "\nA one\n";
    const std::string digested = key_line + "A one";
    expect_verdict(validate({write_file("key79.dat", content + signature_lines(digested, key_line))}),
                   kPassed);

    // A key made of the whole line is not the key in effect.
    std::string whole_key = signature_lines(digested, "");
    expect_verdict(validate({write_file("key79-wrong.dat", content + whole_key)}), kFailed);
}

TEST_F(HostileInput, FilesWithNothingToReadFail)
{
    const std::pair<const char*, std::string> cases[] = {
        {"empty.dat", ""},
        {"ctrl-z-first.dat", "\x1A" + example()},
        {"only-ctrl-z.dat", "\x1A"},
        {"only-nul.dat", std::string(100000, '\0')},
        {"only-line-ends.dat", std::string(1000, '\n') + std::string(1000, '\r')},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        expect_verdict(validate({write_file(name, bytes)}), kFailed);
    }
}

TEST_F(HostileInput, NulPaddingAfterASignedFileStillPasses)
{
    expect_verdict(validate({write_file("padded.dat", example() + std::string(100000, '\0'))}),
                   kPassed);
}

TEST_F(HostileInput, FiveThousandArgumentsFitInFewOpenFiles)
{
    SKIP_ON_WINDOWS("Windows has no limit on open files that a test can lower");
    const std::string name = write_file("example.dat", example());
    const std::vector<std::string> args(5000, name);
    test_support::RunOptions options;
    options.max_open_files = 16;
    expect_verdict(validate(args, options), kPassed);
}

TEST_F(HostileInput, AnUnwritableStandardOutputIsAFailure)
{
    SKIP_ON_WINDOWS("Windows has no /dev/full");
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full here";
    }
    const std::string good = write_file("good.dat", example());
    const std::string altered = write_file("altered.dat", example() + "A added\n");
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {{{good}, 1}, {{altered}, 1}, {{"missing.dat"}, 1}, {{}, test_support::kStatusMinusOne}};
    for (const Case& c : cases) {
        test_support::RunOptions options;
        options.stdout_path = "/dev/full";
        const RunResult run = validate(c.args, options);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.status, c.status) << (c.args.empty() ? "no argument" : c.args[0]);
    }
}

// Names outside any one code page, and files whose size does not fit in 32
// bits (this one ends at its 0x1A; the rest is a hole).
TEST_F(HostileInput, AnyNameAndAnySizeOpens)
{
    expect_verdict(validate({write_file("\u03A9\u03BC\u03AD\u03B3\u03B1.dat", example())}), kPassed);
    EXPECT_EQ(validate({"\u03A9\u03BC\u03AD\u03B3\u03B1-missing.dat"}).out,
              "\nvalidate: can't open \u03A9\u03BC\u03AD\u03B3\u03B1-missing.dat\n\n\n");
    const std::string large = write_file("large.dat", example() + "\x1A");
    fs::resize_file(folder_.path() / large, (std::uintmax_t{1} << 32) + 1);
    expect_verdict(validate({large}), kPassed);
}

} // namespace
