// SPDX-License-Identifier: MIT
// The one step from a finished check to its findings, and the text of each
// kind of warning.
#include "core/findings.hpp"

#include <cstring>

#include "core/report_text.hpp"

namespace {

void copy_text(char* to, std::size_t room, const char* from)
{
    const std::size_t length = std::min(std::strlen(from), room - 1);
    std::memcpy(to, from, length);
    to[length] = '\0';
}

template <std::size_t N>
void copy_text(char (&to)[N], const char* from)
{
    copy_text(to, N, from);
}

constexpr const char* kSlotNames[3] = {"", "first", "second"};

const char* slot_name(int slot)
{
    return kSlotNames[slot == 1 || slot == 2 ? slot : 0];
}

std::string quoted_character(unsigned char c)
{
    if (c > 0x20 && c < 0x7F) {
        return format_text("'%c'", c);
    }
    if (c == ' ') {
        return "a space";
    }
    return format_text("the byte 0x%02X", static_cast<unsigned>(c));
}

// "character 7 is" or "characters 7-9 are".
std::string columns(std::uint64_t from, std::uint64_t to)
{
    const auto first = static_cast<unsigned long long>(from);
    const auto last = static_cast<unsigned long long>(to);
    return from == to ? format_text("character %llu is", first)
                      : format_text("characters %llu-%llu are", first, last);
}

} // namespace

void collect_findings(CheckContext& context, Findings& findings)
{
    check_expected_lines(context, findings.expected[0], findings.expected[1]);
    findings.expected[0][kComparedLength] = '\0';
    findings.expected[1][kComparedLength] = '\0';
    copy_text(findings.found[0], context.slots.first);
    copy_text(findings.found[1], context.slots.second);
    const bool match =
        std::strncmp(findings.found[0], findings.expected[0], kComparedLength) == 0 &&
        std::strncmp(findings.found[1], findings.expected[1], kComparedLength) == 0;
    findings.verdict = match                             ? Verdict::passed
                       : context.signature_pieces == 0 ? Verdict::never_signed
                                                       : Verdict::altered;
    std::memcpy(findings.digest, context.digest, kDigestSize);
    findings.found_line[0] = context.found_line[0];
    findings.found_line[1] = context.found_line[1];
    copy_text(findings.key_line, context.key_line);
    findings.key_line_number = context.key_line_number;
    findings.key_lines = context.key_lines;
    copy_text(findings.key_prefix, context.key_prefix);
    findings.digested_pieces = context.digested_pieces;
    findings.ignored_pieces = context.ignored_pieces;
    findings.signature_pieces = context.signature_pieces;
}

std::string digest_hex(const Findings& findings)
{
    std::string text;
    for (const unsigned char byte : findings.digest) {
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0xF];
    }
    return text;
}

const char* warning_kind_name(WarningKind kind)
{
    switch (kind) {
    case WarningKind::after_eof_mark:
        return "after_eof_mark";
    case WarningKind::unchecked_part:
        return "unchecked_part";
    case WarningKind::stray_signature:
        return "stray_signature";
    case WarningKind::nul_byte:
        return "nul_byte";
    case WarningKind::lowercase_signature:
        return "lowercase_signature";
    case WarningKind::missing_signature:
        return "missing_signature";
    case WarningKind::extra_signature:
        return "extra_signature";
    }
    return "unknown";
}

std::string warning_text(const Warning& warning)
{
    const auto line = static_cast<unsigned long long>(warning.line);
    const std::string at = format_text("line %llu: ", line);
    switch (warning.kind) {
    case WarningKind::after_eof_mark:
        return at + format_text("a 0x1A byte ends the input: the %llu bytes after it are never "
                                "read, so nothing there is checked",
                                static_cast<unsigned long long>(warning.count));
    case WarningKind::unchecked_part:
        return at + columns(warning.column, warning.last_column) +
               " not checked: this part of a long line begins with " +
               quoted_character(warning.byte) + ", not A, B, C or H";
    case WarningKind::stray_signature:
        return at + format_text("characters %llu-%llu of a long line begin with G, so they are "
                                "read as a signature line, into the %s slot",
                                static_cast<unsigned long long>(warning.column),
                                static_cast<unsigned long long>(warning.last_column),
                                slot_name(warning.slot));
    case WarningKind::nul_byte:
        return at +
               format_text("a NUL byte at character %llu: ",
                           static_cast<unsigned long long>(warning.column)) +
               columns(warning.column, warning.last_column) + " not checked";
    case WarningKind::lowercase_signature:
        return at + (warning.slot == 0
                         ? "a signature line that begins with a lowercase g is ignored: only G "
                           "lines are signature lines"
                         : "the signature line is in lowercase; it is compared with uppercase "
                           "hexadecimal digits and cannot match");
    case WarningKind::missing_signature:
        return warning.count == 0
                   ? std::string("the file has no signature line")
                   : format_text("the file has only one signature line (line %llu): the "
                                 "second slot stays empty",
                                 static_cast<unsigned long long>(warning.other_line));
    case WarningKind::extra_signature:
        return at + format_text("signature line %llu replaces the one read from line %llu in "
                                "the %s slot",
                                static_cast<unsigned long long>(warning.count),
                                static_cast<unsigned long long>(warning.other_line),
                                slot_name(warning.slot));
    }
    return at + "an unknown warning";
}

std::size_t first_difference(const char* found, const char* expected)
{
    for (std::size_t i = 0; i < kComparedLength; ++i) {
        if (found[i] != expected[i]) {
            return i + 1;
        }
        if (found[i] == '\0') {
            return 0;
        }
    }
    return 0;
}
