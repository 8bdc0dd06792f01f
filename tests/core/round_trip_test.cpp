// SPDX-License-Identifier: MIT
// Signed output passes the check, signing it again changes nothing, and
// changing any byte that the check reads makes it fail.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/pieces.hpp"
#include "core/sign.hpp"
#include "support/generated_files.hpp"

namespace {

using datasig_test::FileMaker;
using datasig_test::to_bytes;

constexpr unsigned kFiles = 600;
constexpr unsigned kFilesAlteredEverywhere = 40;

// Everything the verdict depends on: the digested text, the key prefix and
// the compared part of both slots.
std::string what_the_check_reads(const Bytes& file)
{
    MemorySource memory{};
    const auto stream = open_memory_stream(memory, file);
    static CheckContext context;
    const SignatureSlots& slots = context.slots;
    check_start(context);
    std::string digested;
    char piece[kPieceBufferSize];
    while (read_text_line(piece, kPieceReadSize, *stream) != kEndOfInput) {
        const PieceClass piece_class = classify_piece(piece);
        handle_piece(context, piece, stream->piece_size);
        if (piece_class == PieceClass::content || piece_class == PieceClass::key_line) {
            digested += piece;
        }
    }
    return digested + "|" + context.key_prefix + "|" + std::string(slots.first).substr(0, kComparedLength) +
           "|" + std::string(slots.second).substr(0, kComparedLength);
}

TEST(RoundTrip, SignedOutputPassesAndSigningAgainChangesNothing)
{
    for (unsigned seed = 0; seed < kFiles; ++seed) {
        const Bytes file = to_bytes(FileMaker(seed).make());
        const SignResult signed_file = sign_bytes(file);
        ASSERT_TRUE(signed_file.signed_ok) << "seed " << seed << ": " << signed_file.problem;
        ASSERT_TRUE(passes_check(signed_file.output)) << "seed " << seed;
        const SignResult again = sign_bytes(signed_file.output);
        ASSERT_TRUE(again.signed_ok) << "seed " << seed;
        EXPECT_EQ(again.output, signed_file.output) << "seed " << seed;
    }
}

TEST(RoundTrip, SigningKeepsTheContentAndKeyTheCheckReads)
{
    // Only a dropped line longer than 79 characters can take checked content
    // with it, and sign reports those.
    unsigned kept = 0;
    for (unsigned seed = 0; seed < kFiles; ++seed) {
        const Bytes file = to_bytes(FileMaker(seed).make());
        const SignResult signed_file = sign_bytes(file);
        if (!signed_file.long_dropped_lines.empty()) {
            continue;
        }
        const Findings before = check_bytes(file);
        const Findings after = check_bytes(signed_file.output);
        ASSERT_EQ(0, std::memcmp(before.digest, after.digest, kDigestSize)) << "seed " << seed;
        ASSERT_STREQ(before.key_prefix, after.key_prefix) << "seed " << seed;
        ++kept;
    }
    EXPECT_GT(kept, kFiles / 2);
}

TEST(RoundTrip, GeneratedFilesCoverTheAwkwardCases)
{
    unsigned swapped = 0;
    unsigned crlf = 0;
    unsigned dropped = 0;
    for (unsigned seed = 0; seed < kFiles; ++seed) {
        const SignResult result = sign_bytes(to_bytes(FileMaker(seed).make()));
        swapped += result.swapped ? 1 : 0;
        crlf += result.crlf ? 1 : 0;
        dropped += result.dropped_lines > 0 ? 1 : 0;
    }
    EXPECT_GT(swapped, kFiles / 20);
    EXPECT_GT(crlf, kFiles / 3);
    EXPECT_GT(dropped, kFiles / 3);
}

TEST(RoundTrip, ChangingAnyByteTheCheckReadsMakesItFail)
{
    std::size_t read_bytes_changed = 0;
    for (unsigned seed = 0; seed < kFilesAlteredEverywhere; ++seed) {
        const Bytes signed_file = sign_bytes(to_bytes(FileMaker(seed).make())).output;
        const std::string original = what_the_check_reads(signed_file);
        for (std::size_t i = 0; i < signed_file.size(); ++i) {
            Bytes altered = signed_file;
            altered[i] = altered[i] == 'q' ? 'p' : 'q';
            const bool same_reading = what_the_check_reads(altered) == original;
            read_bytes_changed += same_reading ? 0 : 1;
            ASSERT_EQ(passes_check(altered), same_reading)
                << "seed " << seed << ", byte " << i << " of " << signed_file.size();
        }
    }
    EXPECT_GT(read_bytes_changed, 10000U);
}

} // namespace
