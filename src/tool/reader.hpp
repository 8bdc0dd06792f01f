// SPDX-License-Identifier: MIT
// Reading a data file: its bytes from a source, as a text stream with the
// same translation on every platform, in pieces of at most 79 characters,
// each handled by its class; and the whole check of a stream.
#pragma once

#include <cstddef>
#include <cstdio>

#include "check/check.hpp"

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

inline constexpr int kEndOfInput = -1;

// Reads one piece: characters up to and including an LF, or size - 1 of them,
// or up to the end of input. Returns the piece's length up to its first NUL
// (0 for a piece that begins with a NUL), or kEndOfInput, leaving the buffer
// unchanged, when the input ends before the first character.
int read_text_line(char* buffer, int size, TextStream& stream);

// Removes every LF at the end of line; a CR stays.
void strip_line_ends(char* line);

// ---- Pieces

inline constexpr char kKeyLineKeyword[] = "HQDHWHARDWAREVERSION";
inline constexpr std::size_t kKeyLineKeywordLength = sizeof kKeyLineKeyword - 1;

// A piece is read with size 80: 79 characters and a NUL.
inline constexpr int kPieceReadSize = 80;
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
// piece_size), which tells whether it ended its line.
void handle_piece(CheckContext& context, char* piece, std::size_t size);

// ---- Whole files

// Reads the stream to its end, handling every piece as handle_piece does,
// a whole block of them at a time. False on a read error.
bool read_data_file(TextStream& stream, CheckContext& context);

// The whole check of a stream: started, read to its end, and the digest
// finished, so that check_passes(context) gives the verdict. False when a
// read failed.
bool check_stream(TextStream& stream, CheckContext& context);

// ---- Bytes as they come

// The same check, given the file's bytes in chunks of any sizes rather than
// reading them from a source: open, feed any number of times, end. Each
// chunk's whole pieces are handled at once; only the start of a piece that
// may go on in the next chunk waits in the stream.
void check_feed_open(TextStream& stream, CheckContext& context);
void check_feed(TextStream& stream, CheckContext& context, const unsigned char* data,
                std::size_t size);
// Handles what is left and finishes the digest.
void check_feed_end(TextStream& stream, CheckContext& context);
