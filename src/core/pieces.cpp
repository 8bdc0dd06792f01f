// SPDX-License-Identifier: MIT
// Handling one piece by its class, as both ways of reading a file do.
#include "core/pieces.hpp"

#include <algorithm>

PieceCounts counts_of(const CheckContext& context)
{
    return {context.digested_pieces, context.ignored_pieces, context.signature_pieces,
            context.lines_ended, context.next_column};
}

void store_counts(CheckContext& context, const PieceCounts& counts)
{
    context.digested_pieces = counts.digested;
    context.ignored_pieces = counts.ignored;
    context.signature_pieces = counts.signature;
    context.lines_ended = counts.lines_ended;
    context.next_column = counts.column;
}

void keep_signature(CheckContext& context, const char* piece, std::size_t length,
                    std::uint64_t line)
{
    SignatureSlots& slots = context.slots;
    char* slot = slots.next_is_second ? slots.second : slots.first;
    length = std::min(length, kSignatureLineSize - 1);
    std::memcpy(slot, piece, length);
    slot[length] = '\0';
    context.found_line[slots.next_is_second ? 1 : 0] = line;
    slots.next_is_second = !slots.next_is_second;
}

void keep_key_line(CheckContext& context, const char* text, std::size_t length, std::uint64_t line)
{
    set_key_prefix(context, text, length);
    length = std::min(length, kKeyLineSize - 1);
    std::memcpy(context.key_line, text, length);
    context.key_line[length] = '\0';
    context.key_line_number = line;
    ++context.key_lines;
}

void tell_observer(PieceObserver& observer, const CheckContext& context, const PieceCounts& counts,
                   const char* piece, std::size_t length, std::size_t size, PieceClass piece_class)
{
    const int slot = context.slots.next_is_second ? 1 : 0;
    const PieceFacts facts{piece,
                           length,
                           size,
                           counts.lines_ended + 1,
                           counts.column,
                           size > 0 && piece[size - 1] == '\n',
                           piece_class,
                           counts.signature + 1,
                           slot,
                           context.found_line[slot]};
    observer.note(facts);
}

PieceClass classify_piece(const char* piece)
{
    return classify(piece, std::strlen(piece));
}

void handle_piece(CheckContext& context, char* piece, std::size_t size, PieceObserver* observer)
{
    PieceCounts counts = counts_of(context);
    handle(context, counts, observer, piece, std::strlen(piece), size, [&](std::size_t text_length) {
        piece[text_length] = '\0';
        check_absorb(context, piece, text_length);
    });
    store_counts(context, counts);
}
