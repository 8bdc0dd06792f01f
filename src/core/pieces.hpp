// SPDX-License-Identifier: MIT
// Pieces of at most 79 characters and their classes: content is digested, a
// key line also sets the key prefix, a signature line fills the next slot,
// anything else is ignored. Both ways of reading a file handle each piece
// here, and tell an observer, when there is one, what they handled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "check/check.hpp"
#include "core/text_stream.hpp"

inline constexpr char kKeyLineKeyword[] = "HQDHWHARDWAREVERSION";
inline constexpr std::size_t kKeyLineKeywordLength = sizeof kKeyLineKeyword - 1;

// A piece is read with size 80: 79 characters and a NUL.
inline constexpr int kPieceReadSize = 80;
inline constexpr std::size_t kPieceLimit = kPieceReadSize - 1;
inline constexpr std::size_t kPieceBufferSize = 84;

enum class PieceClass {
    content,   // A, B, C, or an H that is not a key line: digested
    key_line,  // H followed by the keyword: digested, and sets the key prefix
    signature, // G: kept in a signature slot
    ignored,   // anything else
};

PieceClass classify_piece(const char* piece);

// Handles a piece by its class: content is stripped of its LFs and absorbed
// by the check, a key line also sets the key prefix (its first 51
// characters), a signature line goes into the next slot. size is the
// count of characters the piece took from the stream (TextStream's
// piece_size), which tells whether it ended its line. observer, when not
// null, is told of the piece first.
void handle_piece(CheckContext& context, char* piece, std::size_t size,
                  PieceObserver* observer = nullptr);

// One piece as the reader handles it, placed in the file.
struct PieceFacts {
    const char* text;   // its bytes, NULs included
    std::size_t length; // up to its first NUL: what the check sees
    std::size_t size;   // every character it took, its LF included
    std::uint64_t line;
    std::uint64_t column; // of its first character in its line, from 1
    bool ends_line;
    PieceClass piece_class;
    // For a signature piece: its number among them, from 1, the slot it
    // fills (0 first, 1 second) and the line that slot was filled from
    // before (0 for none).
    std::uint64_t signature_number;
    int slot;
    std::uint64_t replaced_line;
};

// Told of each piece that is read the general way, before it is handled:
// every piece but the common line that is content or ignored, at most 79
// characters, begins its line, holds no NUL and begins with neither G nor g.
class PieceObserver {
public:
    virtual void note(const PieceFacts& piece) = 0;

protected:
    ~PieceObserver() = default;
};

// ---- For the two ways of reading

// A, B, C and H begin content pieces. Tested without a branch for each
// letter: classes follow one another in no order a processor could predict.
inline bool is_content_class(char first)
{
    const auto offset = static_cast<unsigned char>(first - 'A');
    return offset < 3 || offset == 'H' - 'A';
}

// A piece's class, from its first length characters (up to its first NUL).
inline PieceClass classify(const char* piece, std::size_t length)
{
    if (is_content_class(piece[0])) {
        return length >= kKeyLineKeywordLength &&
                       std::memcmp(piece, kKeyLineKeyword, kKeyLineKeywordLength) == 0
                   ? PieceClass::key_line
                   : PieceClass::content;
    }
    return piece[0] == 'G' ? PieceClass::signature : PieceClass::ignored;
}

// What handling counts, kept apart from the context while a block is read so
// that the counts can stay in registers.
struct PieceCounts {
    std::uint64_t digested;
    std::uint64_t ignored;
    std::uint64_t signature;
    std::uint64_t lines_ended;
    std::uint64_t column; // of the next piece in its line, from 1
};

PieceCounts counts_of(const CheckContext& context);
void store_counts(CheckContext& context, const PieceCounts& counts);

void keep_signature(CheckContext& context, const char* piece, std::size_t length,
                    std::uint64_t line);
void keep_key_line(CheckContext& context, const char* text, std::size_t length,
                   std::uint64_t line);
void tell_observer(PieceObserver& observer, const CheckContext& context, const PieceCounts& counts,
                   const char* piece, std::size_t length, std::size_t size, PieceClass piece_class);

// Handles the first length characters of a piece of size characters (up to
// its first NUL; its LF, if any, included) by its class, and counts it. A
// content text, without its LFs, goes to absorb(text_length), after the key
// line has been kept: absorb may move it.
template <typename Absorb>
void handle(CheckContext& context, PieceCounts& counts, PieceObserver* observer, const char* piece,
            std::size_t length, std::size_t size, Absorb absorb)
{
    const PieceClass piece_class = classify(piece, length);
    // Before absorb, which may cut the piece at its LF.
    const bool ends_line = size > 0 && piece[size - 1] == '\n';
    if (observer != nullptr) {
        tell_observer(*observer, context, counts, piece, length, size, piece_class);
    }
    switch (piece_class) {
    case PieceClass::content:
    case PieceClass::key_line: {
        std::size_t text_length = length;
        while (text_length > 0 && piece[text_length - 1] == '\n') {
            --text_length;
        }
        if (piece_class == PieceClass::key_line) {
            keep_key_line(context, piece, text_length, counts.lines_ended + 1);
        }
        ++counts.digested;
        absorb(text_length);
        break;
    }
    case PieceClass::signature:
        ++counts.signature;
        keep_signature(context, piece, length, counts.lines_ended + 1);
        break;
    case PieceClass::ignored:
        ++counts.ignored;
        break;
    }
    counts.lines_ended += ends_line ? 1 : 0;
    counts.column = ends_line ? 1 : counts.column + size;
}
