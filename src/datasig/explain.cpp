// SPDX-License-Identifier: MIT
#include "datasig/explain.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr const char* kSlotNames[2] = {"first", "second"};

template <typename... Args>
std::string format(const char* pattern, Args... args)
{
    char text[512];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// Printable ASCII stays, anything else shows as '?', so that every byte keeps
// its column.
std::string printable(const std::string& text)
{
    std::string shown = text;
    std::replace_if(shown.begin(), shown.end(), [](char c) { return c < 0x20 || c > 0x7E; }, '?');
    return shown;
}

std::string quoted_character(char c)
{
    if (c > 0x20 && c < 0x7F) {
        return format("'%c'", c);
    }
    if (c == ' ') {
        return "a space";
    }
    return format("the byte 0x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
}

bool is_hex_digit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The class letter and 64 hexadecimal digits, in either case.
bool looks_like_signature(const char* text, std::size_t length)
{
    return length >= kComparedLength &&
           std::all_of(text + 1, text + kComparedLength, is_hex_digit);
}

bool has_lowercase_digit(const char* text)
{
    return std::any_of(text + 1, text + kComparedLength,
                       [](char c) { return c >= 'a' && c <= 'f'; });
}

// "character 7 is" or "characters 7-9 are".
std::string columns(std::size_t from, std::size_t to)
{
    return from == to ? format("character %zu is", from) : format("characters %zu-%zu are", from, to);
}

// One piece as the reader gave it, placed in the file.
struct PieceFacts {
    const char* text;   // its bytes, NULs included
    std::size_t length; // up to its first NUL: what the check sees
    std::size_t size;   // every character it took, its LF included
    std::size_t line;
    std::size_t column; // of its first character in its line, from 1
    bool ends_line;
    PieceClass piece_class;
};

std::size_t last_column(const PieceFacts& piece)
{
    return piece.column + piece.size - 1 - (piece.ends_line ? 1 : 0);
}

class Explainer {
public:
    Explainer(Explanation& explanation, const CheckContext& context)
        : out_(explanation), context_(context)
    {
    }

    // Called before the piece is handled (handling strips it in place).
    void note(const PieceFacts& piece)
    {
        note_nul(piece);
        if (piece.piece_class == PieceClass::ignored) {
            note_ignored(piece);
        } else if (piece.piece_class == PieceClass::signature) {
            note_signature(piece, context_.slots.next_is_second ? 1 : 0);
        }
    }

    void add(WarningKind kind, std::size_t line, std::string text)
    {
        out_.warnings.push_back({kind, line, std::move(text)});
    }

private:
    void note_nul(const PieceFacts& piece)
    {
        const bool has_nul = piece.length < piece.size;
        const bool matters = piece.length == 0 || piece.piece_class != PieceClass::ignored;
        if (!has_nul || !matters) {
            return;
        }
        const std::size_t nul_column = piece.column + piece.length;
        // A run of NULs spans pieces; one warning covers the run.
        if (!out_.warnings.empty() && nul_line_ == piece.line && nul_end_ + 1 == piece.column &&
            piece.length == 0) {
            nul_end_ = last_column(piece);
            out_.warnings.back().text = nul_text();
            return;
        }
        nul_line_ = piece.line;
        nul_column_ = nul_column;
        nul_end_ = last_column(piece);
        add(WarningKind::nul_byte, piece.line, nul_text());
    }

    std::string nul_text() const
    {
        return format("line %zu: a NUL byte at character %zu: ", nul_line_, nul_column_) +
               columns(nul_column_, nul_end_) + " not checked";
    }

    void note_ignored(const PieceFacts& piece)
    {
        if (piece.column == 1) {
            if (piece.text[0] == 'g' && looks_like_signature(piece.text, piece.length)) {
                add(WarningKind::lowercase_signature, piece.line,
                    format("line %zu: a signature line that begins with a lowercase g is "
                           "ignored: only G lines are signature lines",
                           piece.line));
            }
            return;
        }
        if (piece.length == 0 || piece.text[0] == '\n') {
            return;
        }
        add(WarningKind::unchecked_part, piece.line,
            format("line %zu: ", piece.line) + columns(piece.column, last_column(piece)) +
                format(" not checked: this part of a long line begins with %s, not A, B, C or H",
                       quoted_character(piece.text[0]).c_str()));
    }

    void note_signature(const PieceFacts& piece, int slot)
    {
        const std::uint64_t number = context_.signature_pieces + 1;
        if (piece.column != 1) {
            add(WarningKind::stray_signature, piece.line,
                format("line %zu: characters %zu-%zu of a long line begin with G, so they are "
                       "read as a signature line, into the %s slot",
                       piece.line, piece.column, last_column(piece), kSlotNames[slot]));
        } else if (looks_like_signature(piece.text, piece.length) && has_lowercase_digit(piece.text)) {
            add(WarningKind::lowercase_signature, piece.line,
                format("line %zu: the signature line is in lowercase; it is compared with "
                       "uppercase hexadecimal digits and cannot match",
                       piece.line));
        }
        if (number > 2) {
            add(WarningKind::extra_signature, piece.line,
                format("line %zu: signature line %zu replaces the one read from line %zu in "
                       "the %s slot",
                       piece.line, static_cast<std::size_t>(number),
                       static_cast<std::size_t>(context_.found_line[slot]),
                       kSlotNames[slot]));
        }
    }

    Explanation& out_;
    const CheckContext& context_;
    std::size_t nul_line_ = 0;
    std::size_t nul_column_ = 0;
    std::size_t nul_end_ = 0;
};

std::string hex(const unsigned char* bytes, std::size_t n)
{
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        text += kHexDigits[bytes[i] >> 4];
        text += kHexDigits[bytes[i] & 0xF];
    }
    return text;
}

// A found line as compared: its first 65 characters, without an LF.
std::string compared_part(const std::string& slot)
{
    std::string part = slot.substr(0, kComparedLength);
    if (!part.empty() && part.back() == '\n') {
        part.pop_back();
    }
    return part;
}

void format_signature(std::string& report, const Explanation& explanation, int slot)
{
    const std::string& expected =
        slot == 0 ? explanation.check.expected_first : explanation.check.expected_second;
    const FoundLine& found = explanation.found[slot];
    report += format("%s signature line", kSlotNames[slot]);
    if (found.line == 0) {
        report += ": missing\n";
        report += "  expected  " + expected + "\n";
        report += "  found     (none)\n";
        return;
    }
    const std::size_t difference = first_difference(found.text, expected);
    report += format(" (line %zu): ", found.line);
    report += difference == 0 ? std::string("matches\n")
                              : format("differs at character %zu\n", difference);
    report += "  expected  " + expected + "\n";
    report += "  found     " + printable(compared_part(found.text)) + "\n";
    if (difference != 0) {
        report += std::string(11 + difference, ' ') + "^\n";
    }
}

} // namespace

std::size_t first_difference(const std::string& found, const std::string& expected)
{
    for (std::size_t i = 0; i < kComparedLength; ++i) {
        const char f = i < found.size() ? found[i] : '\0';
        const char e = i < expected.size() ? expected[i] : '\0';
        if (f != e) {
            return i + 1;
        }
        if (f == '\0') {
            return 0;
        }
    }
    return 0;
}

Explanation explain_bytes(const Bytes& file)
{
    Explanation explanation{};
    MemorySource memory{};
    const auto stream = open_memory_stream(memory, file);
    const auto context = std::make_unique<CheckContext>();
    Explainer explainer(explanation, *context);
    check_start(*context);

    char piece[kPieceBufferSize];
    std::size_t line = 1;
    std::size_t column = 1;
    for (int length; (length = read_text_line(piece, kPieceReadSize, *stream)) != kEndOfInput;) {
        const std::size_t size = stream->piece_size;
        const PieceFacts facts{piece, static_cast<std::size_t>(length), size, line, column,
                               piece[size - 1] == '\n', classify_piece(piece)};
        explainer.note(facts);
        handle_piece(*context, piece, size);
        if (facts.ends_line) {
            ++line;
            column = 1;
        } else {
            column += size;
        }
    }
    check_finish(*context);
    collect_check(*context, explanation.check);
    const CheckContext& c = *context;
    const auto count = [](std::uint64_t n) { return static_cast<std::size_t>(n); };
    explanation.digested_pieces = count(c.digested_pieces);
    explanation.ignored_pieces = count(c.ignored_pieces);
    explanation.signature_pieces = count(c.signature_pieces);
    explanation.key_lines = count(c.key_lines);
    explanation.key_line = count(c.key_line_number);
    explanation.key_line_text = c.key_line;
    for (int slot = 0; slot < 2; ++slot) {
        if (c.found_line[slot] != 0) {
            explanation.found[slot] = {slot == 0 ? c.slots.first : c.slots.second,
                                       count(c.found_line[slot])};
        }
    }

    if (explanation.signature_pieces == 0) {
        explainer.add(WarningKind::missing_signature, 0, "the file has no signature line");
    } else if (explanation.signature_pieces == 1) {
        explainer.add(WarningKind::missing_signature, 0,
                      format("the file has only one signature line (line %zu): the second "
                             "slot stays empty",
                             explanation.found[0].line));
    }
    if (stream->ended_at_eof_mark) {
        const auto mark = std::find(file.begin(), file.end(), kEofMark);
        const auto after = static_cast<std::size_t>(file.end() - mark) - 1;
        if (after > 0) {
            explainer.add(WarningKind::after_eof_mark, line,
                          format("line %zu: a 0x1A byte ends the input: the %zu bytes after it "
                                 "are never read, so nothing there is checked",
                                 line, after));
        }
    }
    return explanation;
}

std::string format_explanation(const Explanation& explanation, const std::string& name)
{
    std::string report = "file: " + name + "\n";
    report += format("pieces: %zu digested, %zu ignored, %zu signature\n",
                     explanation.digested_pieces, explanation.ignored_pieces,
                     explanation.signature_pieces);
    if (explanation.key_line == 0) {
        report += "key line: none: the key is the built-in constant alone\n";
    } else {
        report += format("key line: line %zu", explanation.key_line);
        if (explanation.key_lines > 1) {
            report += format(", the last of %zu", explanation.key_lines);
        }
        report += ": " + printable(explanation.key_line_text) + "\n";
        if (explanation.key_line_text.size() > explanation.check.key_prefix.size()) {
            report += format("  cut from %zu to its first %zu characters in the key: ",
                             explanation.key_line_text.size(),
                             explanation.check.key_prefix.size()) +
                      printable(explanation.check.key_prefix) + "\n";
        }
    }
    const std::string digest = hex(explanation.check.digest, kDigestSize);
    report += "digest: " + digest.substr(0, 64) + "\n";
    report += "        " + digest.substr(64) + "\n";
    format_signature(report, explanation, 0);
    format_signature(report, explanation, 1);
    if (explanation.warnings.empty()) {
        report += "warnings: none\n";
    } else {
        report += format("warnings: %zu\n", explanation.warnings.size());
        for (const Warning& warning : explanation.warnings) {
            report += "  " + warning.text + "\n";
        }
    }
    return report;
}
