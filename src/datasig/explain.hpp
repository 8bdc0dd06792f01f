// SPDX-License-Identifier: MIT
// Explaining: what validate's check sees in a data file, piece by piece, and
// what in it the signature does not protect.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "datasig/data_file.hpp"

enum class WarningKind {
    after_eof_mark,      // bytes after a 0x1A byte are never read
    unchecked_part,      // a part of a std::size_t line that begins with an ignored character
    stray_signature,     // a part of a std::size_t line that begins with G fills a signature slot
    nul_byte,            // a NUL byte ends the text the check sees
    lowercase_signature, // a signature line in lowercase can never match
    missing_signature,   // fewer than two signature lines
    extra_signature,     // a third (fourth ...) signature line replaces an earlier one
};

struct Warning {
    WarningKind kind;
    std::size_t line; // 0 when it concerns the whole file
    std::string text;
};

struct FoundLine {
    std::string text; // the slot as read, line end included
    std::size_t line; // where it was read; 0 when the slot is empty
};

struct Explanation {
    CheckResult check;
    std::size_t digested_pieces;
    std::size_t ignored_pieces;
    std::size_t signature_pieces;
    std::size_t key_lines;
    std::size_t key_line;             // the key line in effect; 0 without one
    std::string key_line_text; // its whole text as digested
    FoundLine found[2];
    std::vector<Warning> warnings;
};

// Reads the file with the shared reader and check.
Explanation explain_bytes(const Bytes& file);

// The report, without the verdict that follows it (kPassedVerdict or
// kFailedVerdict, as explanation.check.passed says).
std::string format_explanation(const Explanation& explanation, const std::string& name);

// The 1-based position of the first character where found differs from
// expected within the compared length, or 0 where they agree.
std::size_t first_difference(const std::string& found, const std::string& expected);
