// SPDX-License-Identifier: MIT
#include "core/reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "check/check.hpp"
#include "crypto/sha512.hpp"
#include "support/data_files.hpp"
#include "support/digest.hpp"

namespace {

using namespace std::string_literals;
using Pieces = std::vector<std::string>;

// The pieces the reader gives for bytes read from memory, each source read
// giving at most read_size bytes; a piece is its text up to its first NUL.
Pieces read_pieces(const std::string& bytes, std::size_t read_size)
{
    MemorySource memory{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0, 0};
    static TextStream stream;
    text_stream_open(stream, read_from_memory, &memory, read_size);
    Pieces pieces;
    char buffer[kPieceBufferSize];
    for (int length; (length = read_text_line(buffer, kPieceReadSize, stream)) != kEndOfInput;) {
        EXPECT_EQ(static_cast<std::size_t>(length), std::string(buffer).size());
        pieces.emplace_back(buffer);
    }
    EXPECT_EQ(read_text_line(buffer, kPieceReadSize, stream), kEndOfInput) << "input ends for good";
    EXPECT_FALSE(stream.read_failed);
    return pieces;
}

struct ReaderCase {
    const char* name;
    std::string bytes;
    Pieces pieces;
};

const std::string k79(79, 'x');
const std::string k78(78, 'y');

const ReaderCase kReaderCases[] = {
    {"empty input", "", {}},
    {"lf lines", "A1\nB2\n", {"A1\n", "B2\n"}},
    {"last line without lf", "A1\nB2", {"A1\n", "B2"}},
    {"crlf reads as lf", "A1\r\nB2\r\n", {"A1\n", "B2\n"}},
    {"lone cr stays", "A\rB\n\r", {"A\rB\n", "\r"}},
    {"cr as last byte stays", "A1\nB2\r", {"A1\n", "B2\r"}},
    {"cr cr lf reads as cr lf", "A\r\r\nB\r\r\r\n", {"A\r\n", "B\r\r\n"}},
    {"cr before 0x1a stays", "A\r\x1A\nB\n", {"A\r"}},
    {"0x1a ends the input", "A1\nA2\x1A\nA3\n", {"A1\n", "A2"}},
    {"0x1a as first byte", "\x1A" "A1\n", {}},
    {"nul cuts a piece", "A\0B\nC\n"s, {"A", "C\n"}},
    {"nul first gives an empty piece", "\0\nA\n"s, {"", "A\n"}},
    {"nul only", std::string(200, '\0'), {"", "", ""}},
    {"high bytes pass", "A\x80\xFF\xE9\n", {"A\x80\xFF\xE9\n"}},
    {"line of 79 then its lf", k79 + "\n", {k79, "\n"}},
    {"line of 78 fits with its lf", k78 + "\n", {k78 + "\n"}},
    {"crlf after 78 counts one character", k78 + "\r\nA\n", {k78 + "\n", "A\n"}},
    {"crlf after 79", k79 + "\r\n", {k79, "\n"}},
    {"cr after 79", k79 + "\rA\n", {k79, "\rA\n"}},
    {"line of 158", k79 + k79 + "\n", {k79, k79, "\n"}},
    {"line of 100", "A" + k79 + "tail of 20 character\n",
     {"A" + k79.substr(0, 78), "xtail of 20 character\n"}},
    {"many crs", "\r\r\r\r\n\r\n", {"\r\r\r\n", "\n"}},
};

void PrintTo(const ReaderCase& c, std::ostream* out)
{
    *out << c.name;
}

class ReaderCaseTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderCaseTest, GivesTheSamePiecesForEveryReadSize)
{
    for (std::size_t read_size = 1; read_size <= 80; ++read_size) {
        ASSERT_EQ(read_pieces(GetParam().bytes, read_size), GetParam().pieces)
            << "read size " << read_size;
    }
    ASSERT_EQ(read_pieces(GetParam().bytes, kTextBlockSize), GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(Reader, ReaderCaseTest, testing::ValuesIn(kReaderCases),
                         test_support::case_name<ReaderCase>);

TEST(Reader, AReadErrorEndsTheInputAndIsReported)
{
    struct FailingSource {
        MemorySource memory;
        std::size_t fail_after;
    };
    const std::string bytes = "A1\nA2\nA3\n";
    FailingSource failing{{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0, 1}, 4};
    const ByteSource source = [](void* handle, unsigned char* buffer, std::size_t capacity) -> std::ptrdiff_t {
        auto& f = *static_cast<FailingSource*>(handle);
        return f.memory.at >= f.fail_after ? -1 : read_from_memory(&f.memory, buffer, capacity);
    };
    static TextStream stream;
    text_stream_open(stream, source, &failing);
    char buffer[kPieceBufferSize];
    EXPECT_EQ(read_text_line(buffer, kPieceReadSize, stream), 3);
    EXPECT_EQ(read_text_line(buffer, kPieceReadSize, stream), 1);
    EXPECT_EQ(read_text_line(buffer, kPieceReadSize, stream), kEndOfInput);
    EXPECT_TRUE(stream.read_failed);
}

TEST(Reader, StripLineEndsRemovesTrailingLfsOnly)
{
    const std::pair<std::string, std::string> cases[] = {
        {"A1\n", "A1"}, {"A1\n\n", "A1"}, {"A1\r", "A1\r"}, {"A1\r\n", "A1\r"},
        {"\n", ""},     {"", ""},         {"A\n1", "A\n1"},
    };
    for (const auto& [line, stripped] : cases) {
        char buffer[kPieceBufferSize];
        std::snprintf(buffer, sizeof buffer, "%s", line.c_str());
        strip_line_ends(buffer);
        EXPECT_EQ(std::string(buffer), stripped) << line;
    }
}

// What a data file's pieces do to the check: the bytes digested, the key
// prefix and the two signature slots.
struct DataFileCase {
    const char* name;
    std::string bytes;
    std::string digested;
    std::string key_prefix;
    std::string first_slot;
    std::string second_slot;
};

const std::string kKey = "HQDHWHARDWAREVERSION";
const std::string k59r(59, 'r');

const DataFileCase kDataFileCases[] = {
    {"content lines without their lf", "A1\nB2\r\nC3\nH4\n", "A1B2C3H4", "", "", ""},
    {"other classes are ignored", "a1\n 1\n1\n\n#x\nZ\nDx\nA1\n", "A1", "", "", ""},
    {"cr at end of content is digested", "A1\nB2\r", "A1B2\r", "", "", ""},
    {"only the cr before an lf goes", "A1\r\r\nB2\r\n\r\nC3\r\r\r\n", "A1\rB2C3\r\r", "", "", ""},
    {"key line sets the prefix", kKey + " 1.0\nA1\n", kKey + " 1.0A1", kKey + " 1.0", "", ""},
    {"later key line wins", kKey + "1\n" + kKey + "2\n", kKey + "1" + kKey + "2", kKey + "2", "", ""},
    {"h line without keyword", kKey + "1\nH other\n", kKey + "1H other", kKey + "1", "", ""},
    {"keyword is case sensitive", "Hqdhwhardwareversion\n", "Hqdhwhardwareversion", "", "", ""},
    {"long key line is cut to 51", kKey + std::string(59, 'r') + "\n", kKey + std::string(59, 'r'),
     kKey + std::string(31, 'r'), "", ""},
    // A key line longer than 79 runs on in pieces classified by their own
    // first character; only its first piece is a key line.
    {"key line of 80", kKey + k59r + "A\n", kKey + k59r + "A", kKey + std::string(31, 'r'), "", ""},
    {"key line of 90", kKey + k59r + "z" + std::string(10, 'r') + "\n", kKey + k59r,
     kKey + std::string(31, 'r'), "", ""},
    {"key line of 200", kKey + k59r + "B" + k78 + "H" + std::string(41, 'r') + "\n",
     kKey + k59r + "B" + k78 + "H" + std::string(41, 'r'), kKey + std::string(31, 'r'), "", ""},
    {"signature lines alternate", "G1\nG2\r\nG3\n", "", "", "G3\n", "G2\n"},
    {"nul cuts the text", "A1\0zz\nG2\0zz\n"s, "A1", "", "G2", ""},
    {"a nul piece does not end the input", "A1\n\0junk\nA2\n"s, "A1A2", "", "", ""},
    {"0x1a ends the input", "A1\nA2\x1A\nA3\n", "A1A2", "", "", ""},
    {"piece after 79 is classified by itself",
     "A" + k78 + "B rest\n" + "A" + k78 + "z rest\n" + "A" + k78 + "G rest\n",
     "A" + k78 + "B rest" + "A" + k78 + "A" + k78, "", "G rest\n", ""},
};

void PrintTo(const DataFileCase& c, std::ostream* out)
{
    *out << c.name;
}

class DataFileCaseTest : public testing::TestWithParam<DataFileCase> {};

// What read_data_file leaves: the digest, the key prefix, the two slots,
// and what the reader counted: pieces by class and the lines they came from.
struct Outcome {
    std::string digest;
    std::string key_prefix;
    std::string first_slot;
    std::string second_slot;
    std::array<std::uint64_t, 7> counts;

    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* out)
{
    *out << "key prefix \"" << o.key_prefix << "\", slots \"" << o.first_slot << "\" and \""
         << o.second_slot << "\", counts";
    for (const std::uint64_t count : o.counts) {
        *out << " " << count;
    }
}

CheckContext context;

// Once the check is finished.
Outcome outcome_of(const CheckContext& c)
{
    return {std::string(c.digest, c.digest + kDigestSize), c.key_prefix, c.slots.first,
            c.slots.second,
            {c.digested_pieces, c.ignored_pieces, c.signature_pieces, c.key_line_number,
             c.found_line[0], c.found_line[1], c.lines_ended}};
}

// Reads the bytes, at most read_size from the source at a time, the way the tool does.
Outcome read_file(const std::string& bytes, std::size_t read_size)
{
    MemorySource memory{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0, 0};
    static TextStream stream;
    text_stream_open(stream, read_from_memory, &memory, read_size);
    EXPECT_TRUE(check_stream(stream, context));
    return outcome_of(context);
}

// The same, one piece at a time through read_text_line and handle_piece.
Outcome read_file_piece_by_piece(const std::string& bytes)
{
    MemorySource memory{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0, 0};
    static TextStream stream;
    text_stream_open(stream, read_from_memory, &memory);
    check_start(context);
    char piece[kPieceBufferSize];
    while (read_text_line(piece, kPieceReadSize, stream) != kEndOfInput) {
        handle_piece(context, piece, stream.piece_size);
    }
    check_finish(context);
    return outcome_of(context);
}

// The same, the bytes handed over in chunks whose sizes next_size chooses.
template <typename NextSize>
Outcome feed_file(const std::string& bytes, NextSize next_size)
{
    static TextStream stream;
    check_feed_open(stream, context);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t n = std::min(next_size(), bytes.size() - at);
        check_feed(stream, context, data + at, n);
        at += n;
    }
    check_feed_end(stream, context);
    return outcome_of(context);
}

const std::size_t kReadSizes[] = {1, 2, 7, 63, 64, 79, 80, 81, 1000, kTextBlockSize};

TEST_P(DataFileCaseTest, DigestsKeysAndKeepsSignatures)
{
    const DataFileCase& c = GetParam();
    Outcome expected{test_support::sha512_of(c.digested), c.key_prefix, c.first_slot, c.second_slot, {}};
    expected.counts = read_file_piece_by_piece(c.bytes).counts;
    for (const std::size_t read_size : kReadSizes) {
        ASSERT_EQ(read_file(c.bytes, read_size), expected) << "read size " << read_size;
        ASSERT_EQ(feed_file(c.bytes, [&] { return read_size; }), expected) << "chunk " << read_size;
    }
}

INSTANTIATE_TEST_SUITE_P(DataFile, DataFileCaseTest, testing::ValuesIn(kDataFileCases),
                         test_support::case_name<DataFileCase>);

} // namespace

namespace {

// Random data files: lines of every class and of lengths around 79 and 158,
// LF or CR LF or a lone CR, now and then a NUL, and in some a 0x1A.
std::string random_data_file(std::mt19937& random, std::size_t lines)
{
    const std::string firsts = "AAABBCCHHHGG#a 1\r";
    std::string bytes;
    for (std::size_t i = 0; i < lines; ++i) {
        std::size_t length = random() % 90;
        if (random() % 8 == 0) {
            length = 150 + random() % 20;
        }
        std::string line = random() % 20 == 0 ? kKey : std::string(1, firsts[random() % firsts.size()]);
        while (line.size() < length) {
            const unsigned r = random() % 64;
            line += r == 0 ? '\0' : r == 1 ? '\r' : static_cast<char>(' ' + r);
        }
        const unsigned end = random() % 8;
        bytes += line + (end == 0 ? "\r\n" : end == 1 ? "\r" : end == 2 ? "" : "\n");
    }
    if (random() % 4 == 0) {
        bytes.insert(random() % (bytes.size() + 1), 1, '\x1A');
    }
    return bytes;
}

TEST(Reader, ReadingWholeBlocksGivesWhatPieceByPieceReadingGives)
{
    std::mt19937 random(97);
    for (int trial = 0; trial < 300; ++trial) {
        const std::string bytes = random_data_file(random, 1 + random() % 400);
        const Outcome expected = read_file_piece_by_piece(bytes);
        for (const std::size_t read_size : kReadSizes) {
            ASSERT_EQ(read_file(bytes, read_size), expected)
                << "trial " << trial << ", read size " << read_size;
        }
        ASSERT_EQ(feed_file(bytes, [&] { return std::size_t{random() % 200}; }), expected)
            << "trial " << trial << ", random chunks";
    }
}

// The text translation and the pieces as plainly as they can be put: CR LF
// reads as LF, the first 0x1A ends the input, and a piece ends after an LF
// or after 79 characters.
Pieces model_pieces(const std::string& bytes)
{
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && bytes[i] != '\x1A'; ++i) {
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) {
            text += bytes[i];
        }
    }
    Pieces pieces;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t n = 0;
        while (n < 79 && at + n < text.size()) {
            if (text[at + n++] == '\n') {
                break;
            }
        }
        pieces.emplace_back(text.substr(at, n).c_str());
        at += n;
    }
    return pieces;
}

TEST(Reader, RandomFilesGiveThePiecesOfAPlainModel)
{
    std::mt19937 random(5);
    for (int trial = 0; trial < 200; ++trial) {
        std::string bytes = random_data_file(random, 1 + random() % 300);
        // Long runs of CR LF lines move the text far down the block.
        bytes += std::string(random() % 3000, '\r') + "\r\n\r\nA\r";
        const Pieces expected = model_pieces(bytes);
        for (const std::size_t read_size : {std::size_t{1}, std::size_t{64}, kTextBlockSize}) {
            ASSERT_EQ(read_pieces(bytes, read_size), expected)
                << "trial " << trial << ", read size " << read_size;
        }
    }
}

} // namespace
