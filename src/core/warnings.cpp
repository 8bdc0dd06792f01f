// SPDX-License-Identifier: MIT
// The warnings of a file, piece by piece as the reader handles them, then
// those of its end.
#include "core/warnings.hpp"

#include <algorithm>

namespace {

bool is_hex_digit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The class letter and 64 hexadecimal digits, in either case.
bool looks_like_signature(const char* text, std::size_t length)
{
    return length >= kComparedLength && std::all_of(text + 1, text + kComparedLength, is_hex_digit);
}

bool has_lowercase_digit(const char* text)
{
    return std::any_of(text + 1, text + kComparedLength, [](char c) { return c >= 'a' && c <= 'f'; });
}

std::uint64_t last_column(const PieceFacts& piece)
{
    return piece.column + piece.size - 1 - (piece.ends_line ? 1 : 0);
}

Warning warning_at(WarningKind kind, const PieceFacts& piece)
{
    return Warning{kind, 0, piece.line, 0, 0, 0, 0, 0};
}

} // namespace

void WarningCollector::start()
{
    kept_.clear();
    count_ = 0;
    nul_run_open_ = false;
}

bool WarningCollector::add(const Warning& warning)
{
    ++count_;
    if (kept_.size() >= limit_) {
        return false;
    }
    kept_.push_back(warning);
    return true;
}

void WarningCollector::note(const PieceFacts& piece)
{
    note_nul(piece);
    if (piece.piece_class == PieceClass::ignored) {
        note_ignored(piece);
    } else if (piece.piece_class == PieceClass::signature) {
        note_signature(piece);
    }
}

void WarningCollector::note_nul(const PieceFacts& piece)
{
    const bool has_nul = piece.length < piece.size;
    const bool matters = piece.length == 0 || piece.piece_class != PieceClass::ignored;
    if (!has_nul || !matters) {
        return;
    }
    // A run of NULs spans pieces; one warning covers the run, even where the
    // piece it began in brought a warning of another kind after it.
    if (nul_run_open_ && nul_run_line_ == piece.line && nul_run_end_ + 1 == piece.column &&
        piece.length == 0) {
        nul_run_end_ = last_column(piece);
        if (nul_run_index_ < kept_.size()) {
            kept_[nul_run_index_].last_column = nul_run_end_;
        }
        return;
    }
    Warning warning = warning_at(WarningKind::nul_byte, piece);
    warning.column = piece.column + piece.length;
    warning.last_column = last_column(piece);
    nul_run_index_ = add(warning) ? kept_.size() - 1 : SIZE_MAX;
    nul_run_open_ = true;
    nul_run_line_ = piece.line;
    nul_run_end_ = warning.last_column;
}

void WarningCollector::note_ignored(const PieceFacts& piece)
{
    if (piece.column == 1) {
        if (piece.text[0] == 'g' && looks_like_signature(piece.text, piece.length)) {
            add(warning_at(WarningKind::lowercase_signature, piece));
        }
        return;
    }
    if (piece.length == 0 || piece.text[0] == '\n') {
        return;
    }
    Warning warning = warning_at(WarningKind::unchecked_part, piece);
    warning.column = piece.column;
    warning.last_column = last_column(piece);
    warning.byte = static_cast<unsigned char>(piece.text[0]);
    add(warning);
}

void WarningCollector::note_signature(const PieceFacts& piece)
{
    const int slot = piece.slot + 1;
    if (piece.column != 1) {
        Warning warning = warning_at(WarningKind::stray_signature, piece);
        warning.slot = slot;
        warning.column = piece.column;
        warning.last_column = last_column(piece);
        add(warning);
    } else if (looks_like_signature(piece.text, piece.length) && has_lowercase_digit(piece.text)) {
        Warning warning = warning_at(WarningKind::lowercase_signature, piece);
        warning.slot = slot;
        add(warning);
    }
    if (piece.signature_number > 2) {
        Warning warning = warning_at(WarningKind::extra_signature, piece);
        warning.slot = slot;
        warning.count = piece.signature_number;
        warning.other_line = piece.replaced_line;
        add(warning);
    }
}

void WarningCollector::finish(const TextStream& stream, const CheckContext& context,
                              Findings& findings)
{
    if (context.signature_pieces < 2) {
        add(Warning{WarningKind::missing_signature, 0, 0, 0, 0,
                    context.signature_pieces == 1 ? context.found_line[0] : 0,
                    context.signature_pieces, 0});
    }
    if (stream.ended_at_eof_mark && stream.bytes_after_eof_mark > 0) {
        add(Warning{WarningKind::after_eof_mark, 0, context.lines_ended + 1, 0, 0, 0,
                    stream.bytes_after_eof_mark, 0});
    }
    findings.warning_count = count_;
    findings.warnings = kept_;
}
