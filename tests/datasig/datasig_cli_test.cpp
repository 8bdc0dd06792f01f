// Runs the datasig binary beside validate: explain gives validate's verdict
// on every fixture, signed files pass validate, and a failed write leaves
// the original as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "datasig/sign.hpp"
#include "generated_files.hpp"
#include "support/data_files.hpp"
#include "support/run_binary.hpp"

namespace {

namespace fs = std::filesystem;
using test_support::RunResult;

const std::string kPassed = "Validation check passed, data indicated as correct\n";
const std::string kFailed = "Validation check failed\nFile data may have been altered\n";

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
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A fresh folder, removed with everything in it at the end of the test.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "datasig-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TemporaryFolder()
    {
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(path_);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    std::string operator/(const std::string& name) const
    {
        return path_ + "/" + name;
    }
    const std::string& path() const
    {
        return path_;
    }
    std::vector<std::string> names() const
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(path_)) {
            found.push_back(entry.path().filename().string());
        }
        return found;
    }

private:
    std::string path_;
};

std::vector<std::string> fixture_names()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fixture(""))) {
        names.push_back(entry.path().filename().string());
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
    EXPECT_NE(run.out.find("  line 2: characters 80-104 are not checked"), std::string::npos)
        << run.out;
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    std::string err_begins;
};

void PrintTo(const UsageCase& c, std::ostream* out)
{
    *out << c.name;
}

const UsageCase kUsageCases[] = {
    {"no command", {}, "datasig: no command given\nUsage:"},
    {"unknown command", {"check", "f"}, "datasig: unknown command check\n"},
    {"sign without a file", {"sign"}, "datasig: sign needs a file\n"},
    {"sign with two files", {"sign", "a", "b"}, "datasig: sign takes one file\n"},
    {"o without a name", {"sign", "f", "-o"}, "datasig: option -o needs a file name\n"},
    {"o and i", {"sign", "-i", "-o", "x", "f"}, "datasig: -o and -i cannot be used together\n"},
    {"unknown option", {"sign", "-x", "f"}, "datasig: unknown option -x\n"},
    {"explain without a file", {"explain"}, "datasig: explain takes one file\n"},
    {"explain with an option", {"explain", "-i"}, "datasig: unknown option -i\n"},
    {"missing file", {"explain", "/nonexistent/f"}, "datasig: cannot open /nonexistent/f: No such file"},
    {"a folder", {"sign", "/"}, "datasig: cannot open /: Is a directory"},
};

class UsageCaseTest : public testing::TestWithParam<UsageCase> {};

TEST_P(UsageCaseTest, FailsWithStatus2AndAMessageOnStandardError)
{
    const RunResult run = datasig(GetParam().args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind(GetParam().err_begins, 0), 0U) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Usage, UsageCaseTest, testing::ValuesIn(kUsageCases),
                         test_support::case_name<UsageCase>);

TEST(Usage, HelpAndVersion)
{
    const RunResult help = datasig({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: datasig sign [-o OUT | -i] FILE\n", 0), 0U);
    EXPECT_EQ(help.err, "");
    const RunResult version = datasig({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "datasig " PROJECT_VERSION_TEXT "\n");
}

TEST(Sign, WritesToStandardOutputAFileThatValidatePasses)
{
    TemporaryFolder folder;
    const RunResult run = datasig({"sign", fixture("altered_content.txt")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    write_file(folder / "signed.txt", run.out);
    EXPECT_EQ(validate(folder / "signed.txt").out, kPassed);
    EXPECT_EQ(read_file(fixture("altered_content.txt")).size(), run.out.size());
}

TEST(Sign, WarnsWhenALongLineThatBeginsWithGIsDropped)
{
    TemporaryFolder folder;
    const std::string name = folder / "long-g.txt";
    write_file(name, "A1\nG" + std::string(78, 'x') + "A checked part\nGshort\n");
    const RunResult run = datasig({"sign", name});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "datasig: " + name +
                           ": line 2 begins with G and is longer than 79 characters: dropped whole, "
                           "with any checked content past its 79th character\n");
    EXPECT_EQ(run.out.rfind("A1\nG", 0), 0U);
}

TEST(Sign, ReportsAStandardOutputThatCannotBeWritten)
{
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
    TemporaryFolder folder;
    const mode_t mask = umask(022);
    const RunResult run = datasig({"sign", "-o", folder / "out.txt", fixture("unsigned.txt")});
    umask(mask);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fs::status(folder / "out.txt").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    EXPECT_EQ(folder.names().size(), 1U);
}

TEST(SignInPlace, ReplacesTheFileAndKeepsItsPermissions)
{
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

TEST(SignInPlace, ReadOnlyFolderLeavesTheOriginal)
{
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
    const std::string as_nobody =
        geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const RunResult run = test_support::run_binary(
        "/bin/sh", {"-c", as_nobody + "\"$0\" sign -i \"$1\"", folder / "datasig", folder / "data.txt"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cannot create a temporary file"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("is left as it was"), std::string::npos) << run.err;
    EXPECT_EQ(read_file(folder / "data.txt"), original);
    EXPECT_EQ(folder.names().size(), 2U);
}

TEST(SignInPlace, FullDiskLeavesTheOriginal)
{
    TemporaryFolder folder;
    // Bigger than the file size limit below, so the write fails part way.
    std::string original = read_file(fixture("unsigned.txt"));
    while (original.size() < 16 * 1024) {
        original += "A another line of content for a file larger than the limit\n";
    }
    write_file(folder / "data.txt", original);
    // With SIGXFSZ ignored, a write past the file size limit fails with EFBIG,
    // as a write to a full disk fails with ENOSPC.
    const RunResult run = test_support::run_binary(
        "/bin/sh",
        {"-c", "ulimit -f 8 && trap '' XFSZ && exec \"$0\" sign -i \"$1\"", DATASIG_BINARY,
         folder / "data.txt"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
    expect_untouched(folder, original);
}

TEST(SignInPlace, AlreadySignedFileIsLeftAlone)
{
    TemporaryFolder folder;
    const std::string original = read_file(fixture("signed_crlf.txt"));
    write_file(folder / "data.txt", original);
    const auto before = fs::last_write_time(folder / "data.txt");
    EXPECT_EQ(datasig({"sign", "-i", folder / "data.txt"}).status, 0);
    EXPECT_EQ(fs::last_write_time(folder / "data.txt"), before);
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
