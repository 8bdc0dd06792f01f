// SPDX-License-Identifier: MIT
// A data file's bytes from a source, as a text stream with the same
// translation on every platform (CR LF reads as LF, 0x1A ends the input),
// and the reading of one piece of at most 79 characters from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class PieceObserver;

// ---- Byte sources

// Where a text stream gets its raw bytes: the count read into buffer (at most
// capacity), 0 at the end of input, -1 on a read error.
using ByteSource = std::ptrdiff_t (*)(void* handle, unsigned char* buffer, std::size_t capacity);

// Opens a file for reading, as binary (the stream does the text translation).
// A directory counts as a file that cannot be opened. Null on failure.
std::FILE* open_data_file(const char* name);

// A source that reads an open file.
std::ptrdiff_t read_from_file(void* file, unsigned char* buffer, std::size_t capacity);

// A source that reads bytes held in memory, at most chunk of them per read
// (0 for no limit).
struct MemorySource {
    const unsigned char* data;
    std::size_t size;
    std::size_t at;
    std::size_t chunk;
};

std::ptrdiff_t read_from_memory(void* source, unsigned char* buffer, std::size_t capacity);

// ---- The text stream

inline constexpr std::size_t kTextBlockSize = std::size_t{64} * 1024;

// The byte that ends the input: nothing at or after it is read.
inline constexpr unsigned char kEofMark = 0x1A;

// Translates raw bytes as text: CR LF reads as LF, every other CR stays, and
// the first kEofMark ends the input for good. The result does not depend on
// how the source divides its bytes into reads.
struct TextStream {
    ByteSource source;
    void* handle;
    std::size_t read_size;
    // Told of every piece read the general way; null for none. Set after
    // text_stream_open by those who report what the signature does not
    // protect.
    PieceObserver* observer;
    // Bytes not yet delivered are block[next, end). Those from raw_from on
    // are as read, their CR LFs not yet turned into LFs: the walk over whole
    // lines does that as it goes, which costs no pass of its own, and
    // anything else that reads them translates them first.
    std::size_t next;
    std::size_t end;
    std::size_t raw_from;
    // The last byte read was a CR; whether an LF follows is not known yet.
    bool cr_held;
    bool input_ended;
    bool read_failed;
    // The input ended at kEofMark rather than at the end of the source.
    bool ended_at_eof_mark;
    // Bytes after the kEofMark that the reads brought, never delivered;
    // text_stream_count_rest adds those the source still holds.
    std::uint64_t bytes_after_eof_mark;
    // Characters the last piece took from the stream, NULs and its LF included.
    std::size_t piece_size;
    // Last, so that on a small file the fields above share a page with the
    // block's first bytes: each new page touched is a page fault. Room for a
    // held CR before a read's bytes, for a NUL after them, and for loads of
    // up to 80 bytes that begin before end.
    unsigned char block[kTextBlockSize + 96];
};

// read_size is how many bytes to ask of the source at a time, 1 to kTextBlockSize.
void text_stream_open(TextStream& stream, ByteSource source, void* handle,
                      std::size_t read_size = kTextBlockSize);

// Moves the bytes not yet delivered to the block's front and adds what one
// more read of the source gives, as read. A stream whose input has ended
// reads nothing more, but gives back a CR it held.
void text_stream_read_more(TextStream& stream);

// Once the input has ended at kEofMark, counts into bytes_after_eof_mark
// what the source still holds after it, reading it to its end.
void text_stream_count_rest(TextStream& stream);

inline constexpr int kEndOfInput = -1;

// Reads one piece: characters up to and including an LF, or size - 1 of them,
// or up to the end of input. Returns the piece's length up to its first NUL
// (0 for a piece that begins with a NUL), or kEndOfInput, leaving the buffer
// unchanged, when the input ends before the first character.
int read_text_line(char* buffer, int size, TextStream& stream);

// Removes every LF at the end of line; a CR stays.
void strip_line_ends(char* line);
