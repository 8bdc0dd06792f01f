// SPDX-License-Identifier: MIT
// What a finished check found: the verdict, the digest, the expected and
// found signature lines, the key line, the counts of pieces, and the
// warnings of what the signature does not protect. Every way in reports
// these, made in one step from a finished check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "check/check.hpp"
#include "crypto/sha512.hpp"

enum class Verdict : unsigned char {
    passed,     // the signature lines match
    altered,    // they do not
    never_signed, // the file has no signature line at all, so it fails
};

// The values the library gives them too.
enum class WarningKind : unsigned char {
    after_eof_mark = 1,      // bytes after a 0x1A byte are never read
    unchecked_part = 2,      // a part of a long line that begins with an ignored character
    stray_signature = 3,     // a part of a long line that begins with G fills a signature slot
    nul_byte = 4,            // a NUL byte ends the text the check sees
    lowercase_signature = 5, // a signature line in lowercase can never match
    missing_signature = 6,   // fewer than two signature lines
    extra_signature = 7,     // a third (fourth ...) signature line replaces an earlier one
};

struct Warning {
    WarningKind kind;
    int slot; // the signature slot concerned: 1 first, 2 second; 0 none
    std::uint64_t line; // 0 when it concerns the whole file
    std::uint64_t column;
    std::uint64_t last_column;
    std::uint64_t other_line;
    std::uint64_t count;
    unsigned char byte; // the first of an unchecked part
};

struct Findings {
    Verdict verdict;
    unsigned char digest[kDigestSize];
    // "G" and 64 uppercase hexadecimal digits.
    char expected[2][kSignatureLineSize];
    // The slots as read, line end included; "" when empty.
    char found[2][kSignatureLineSize];
    std::uint64_t found_line[2]; // where each slot was filled from; 0 when empty
    char key_line[kKeyLineSize]; // the key line in effect, as digested
    std::uint64_t key_line_number; // 0 without one
    std::uint64_t key_lines;
    char key_prefix[kKeyPrefixSize]; // what of it the key takes
    std::uint64_t digested_pieces;
    std::uint64_t ignored_pieces;
    std::uint64_t signature_pieces;
    // Every warning found; warnings holds the first of them, as many as
    // the one who collected them kept. Both empty when nobody did.
    std::uint64_t warning_count;
    std::vector<Warning> warnings;
};

// Everything a finished check found but its warnings, which a
// WarningCollector gives, and which are left as they are. The key schedule
// of the context's key is set up when it is not yet.
void collect_findings(CheckContext& context, Findings& findings);

inline bool passed(const Findings& findings)
{
    return findings.verdict == Verdict::passed;
}

// The digest in uppercase hexadecimal, 128 digits, as the reports show it.
std::string digest_hex(const Findings& findings);

// The name of a kind of warning, as the library, the bindings and the JSON
// output give it: "nul_byte" ...
const char* warning_kind_name(WarningKind kind);

// The line that datasig explain writes for a warning.
std::string warning_text(const Warning& warning);

// The 1-based position of the first character where found differs from
// expected within the compared length, or 0 where they agree.
std::size_t first_difference(const char* found, const char* expected);
