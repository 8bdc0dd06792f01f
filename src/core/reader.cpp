// SPDX-License-Identifier: MIT
// Reading a data file whole: blocks walked where their pieces lie whole, and
// the piece that crosses a block's end read alone.
#include "core/reader.hpp"

#include "core/block_walk.hpp"

bool read_data_file(TextStream& stream, CheckContext& context)
{
    char piece[kPieceBufferSize];
    for (;;) {
        // A piece that may cross the block's end is read, and the block
        // refilled, the usual way.
        handle_whole_pieces(stream, context);
        if (read_text_line(piece, kPieceReadSize, stream) == kEndOfInput) {
            return !stream.read_failed;
        }
        handle_piece(context, piece, stream.piece_size, stream.observer);
    }
}

bool check_stream(TextStream& stream, CheckContext& context)
{
    check_start(context);
    const bool read_to_end = read_data_file(stream, context);
    check_finish(context);
    return read_to_end;
}

// Room in the block for the start of a piece kept from the last chunk, a
// held CR and loads past the end.
constexpr std::size_t kFeedReadSize = kTextBlockSize - 2 * kPieceBufferSize;

void check_feed_open(TextStream& stream, CheckContext& context, PieceObserver* observer)
{
    text_stream_open(stream, nullptr, nullptr, kFeedReadSize);
    stream.observer = observer;
    check_start(context);
}

void check_feed(TextStream& stream, CheckContext& context, const unsigned char* data,
                std::size_t size)
{
    MemorySource chunk{data, size, 0, 0};
    stream.source = read_from_memory;
    stream.handle = &chunk;
    while (chunk.at < chunk.size && !stream.input_ended) {
        text_stream_read_more(stream);
        handle_whole_pieces(stream, context);
    }
    // What comes after the input has ended at a 0x1A is never read.
    stream.bytes_after_eof_mark += chunk.size - chunk.at;
    stream.source = nullptr;
    stream.handle = nullptr;
}

void check_feed_end(TextStream& stream, CheckContext& context)
{
    // Nothing more comes: what is left ends at the end of input.
    stream.input_ended = true;
    read_data_file(stream, context);
    check_finish(context);
}
