// SPDX-License-Identifier: MIT
// The byte sources, and the text stream's translation of their bytes: CR LF
// to LF, and the input's end at the first 0x1A.
#include "core/text_stream.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/find_byte.hpp"
#include "platform/platform.hpp"

// ---- Byte sources

std::FILE* open_data_file(const char* name)
{
    std::FILE* file = open_file_for_reading(name);
    if (file == nullptr) {
        return nullptr;
    }
    if (const int reason = directory_error(file); reason != 0) {
        std::fclose(file);
        errno = reason;
        return nullptr;
    }
    // The stream reads whole blocks itself; a second buffer would only copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

std::ptrdiff_t read_from_file(void* file, unsigned char* buffer, std::size_t capacity)
{
    auto* f = static_cast<std::FILE*>(file);
    if (std::ferror(f) != 0) {
        return -1;
    }
    // A read that came short at the end of the file is not tried again: not
    // every C library keeps the end of file once reached.
    if (std::feof(f) != 0) {
        return 0;
    }
    const std::size_t n = std::fread(buffer, 1, capacity, f);
    if (n == 0) {
        return std::ferror(f) != 0 ? -1 : 0;
    }
    return static_cast<std::ptrdiff_t>(n);
}

std::ptrdiff_t read_from_memory(void* source, unsigned char* buffer, std::size_t capacity)
{
    auto& memory = *static_cast<MemorySource*>(source);
    std::size_t n = std::min(capacity, memory.size - memory.at);
    if (memory.chunk != 0) {
        n = std::min(n, memory.chunk);
    }
    if (n > 0) {
        std::memcpy(buffer, memory.data + memory.at, n);
        memory.at += n;
    }
    return static_cast<std::ptrdiff_t>(n);
}

// ---- The text stream

void text_stream_read_more(TextStream& stream)
{
    const std::size_t kept = stream.end - stream.next;
    std::memmove(stream.block, stream.block + stream.next, kept);
    stream.raw_from = std::clamp(stream.raw_from, stream.next, stream.end) - stream.next;
    stream.next = 0;
    std::size_t count = kept;
    if (stream.cr_held) {
        stream.block[count++] = '\r';
        stream.cr_held = false;
    }
    if (!stream.input_ended) {
        const std::ptrdiff_t n = stream.source(stream.handle, stream.block + count, stream.read_size);
        if (n <= 0) {
            stream.read_failed = n < 0;
            stream.input_ended = true;
        } else {
            const auto* fresh = stream.block + count;
            count += static_cast<std::size_t>(n);
            if (const unsigned char* eof = find_byte(fresh, kEofMark, static_cast<std::size_t>(n))) {
                const auto at = static_cast<std::size_t>(eof - stream.block);
                stream.bytes_after_eof_mark += count - at - 1;
                count = at;
                stream.input_ended = true;
                stream.ended_at_eof_mark = true;
            }
            if (!stream.input_ended && stream.block[count - 1] == '\r') {
                --count;
                stream.cr_held = true;
            }
        }
    }
    stream.end = count;
}

void text_stream_count_rest(TextStream& stream)
{
    if (!stream.ended_at_eof_mark || stream.source == nullptr) {
        return;
    }
    // The block's bytes have all been delivered: it serves as scratch.
    for (std::ptrdiff_t n; (n = stream.source(stream.handle, stream.block, kTextBlockSize)) > 0;) {
        stream.bytes_after_eof_mark += static_cast<std::uint64_t>(n);
    }
}

namespace {

// Where the bytes as read begin within the next window bytes, which a piece
// may take, translates them up to the first LF among them: a piece read from
// next takes no more, and before that LF they hold no CR LF. The CR of a CR
// LF goes by moving what comes before it up one byte. A CR held at the end
// of a read is not among them: a pair never spans two reads. Translating no
// further than a piece can reach keeps the pieces of a long line from each
// moving the line again.
void translate_next_line(TextStream& stream, std::size_t window)
{
    if (stream.raw_from >= stream.next + window) {
        return;
    }
    unsigned char* const block = stream.block;
    const void* found = std::memchr(block + stream.raw_from, '\n', stream.end - stream.raw_from);
    if (found == nullptr) {
        stream.raw_from = stream.end;
        return;
    }
    const auto lf = static_cast<std::size_t>(static_cast<const unsigned char*>(found) - block);
    if (lf > stream.raw_from && block[lf - 1] == '\r') {
        std::memmove(block + stream.next + 1, block + stream.next, lf - 1 - stream.next);
        ++stream.next;
    }
    stream.raw_from = lf + 1;
}

// Makes more translated bytes available once all are delivered; false when
// the input has none left.
bool refill(TextStream& stream)
{
    stream.next = 0;
    stream.end = 0;
    while (stream.end == 0) {
        if (stream.input_ended && !stream.cr_held) {
            return false;
        }
        text_stream_read_more(stream);
    }
    return true;
}

} // namespace

void text_stream_open(TextStream& stream, ByteSource source, void* handle, std::size_t read_size)
{
    stream.source = source;
    stream.handle = handle;
    stream.read_size = std::clamp<std::size_t>(read_size, 1, kTextBlockSize);
    stream.observer = nullptr;
    stream.next = 0;
    stream.end = 0;
    stream.raw_from = 0;
    stream.cr_held = false;
    stream.input_ended = false;
    stream.read_failed = false;
    stream.ended_at_eof_mark = false;
    stream.bytes_after_eof_mark = 0;
    stream.piece_size = 0;
}

int read_text_line(char* buffer, int size, TextStream& stream)
{
    if (size < 2) {
        return kEndOfInput;
    }
    const auto limit = static_cast<std::size_t>(size - 1);
    std::size_t taken = 0;
    while (taken < limit) {
        if (stream.next == stream.end && !refill(stream)) {
            break;
        }
        translate_next_line(stream, limit - taken);
        const unsigned char* from = stream.block + stream.next;
        const std::size_t available = std::min(stream.end - stream.next, limit - taken);
        const void* lf = std::memchr(from, '\n', available);
        const std::size_t n =
            lf != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - from) + 1
                          : available;
        std::memcpy(buffer + taken, from, n);
        taken += n;
        stream.next += n;
        if (lf != nullptr) {
            break;
        }
    }
    stream.piece_size = taken;
    if (taken == 0) {
        return kEndOfInput;
    }
    buffer[taken] = '\0';
    return static_cast<int>(std::strlen(buffer));
}

void strip_line_ends(char* line)
{
    std::size_t length = std::strlen(line);
    while (length > 0 && line[length - 1] == '\n') {
        line[--length] = '\0';
    }
}
