#include "tool/reader.hpp"

#include <algorithm>
#include <cstring>

#if __has_include(<sys/stat.h>)
#include <sys/stat.h>
#define VALIDATE_HAS_FSTAT 1
#endif

namespace {

// Drops every CR that an LF follows, in place; returns the new count.
std::size_t drop_cr_before_lf(unsigned char* bytes, std::size_t count)
{
    std::size_t in = 0;
    std::size_t out = 0;
    for (;;) {
        const auto* cr = static_cast<unsigned char*>(std::memchr(bytes + in, '\r', count - in));
        const std::size_t stop = cr != nullptr ? static_cast<std::size_t>(cr - bytes) : count;
        if (out != in) {
            std::memmove(bytes + out, bytes + in, stop - in);
        }
        out += stop - in;
        in = stop;
        if (cr == nullptr) {
            return out;
        }
        ++in;
        if (in == count || bytes[in] != '\n') {
            bytes[out++] = '\r';
        }
    }
}

// Makes more translated bytes available; false when the input has none left.
bool refill(TextStream& stream)
{
    stream.next = 0;
    stream.end = 0;
    while (stream.end == 0) {
        std::size_t count = 0;
        if (stream.cr_held) {
            stream.block[count++] = '\r';
            stream.cr_held = false;
        }
        if (stream.input_ended) {
            stream.end = count;
            return count > 0;
        }
        const long n = stream.source(stream.handle, stream.block + count, stream.read_size);
        if (n <= 0) {
            stream.read_failed = n < 0;
            stream.input_ended = true;
            stream.end = count;
            return count > 0;
        }
        const auto* fresh = stream.block + count;
        count += static_cast<std::size_t>(n);
        if (const void* eof = std::memchr(fresh, 0x1A, static_cast<std::size_t>(n))) {
            count = static_cast<std::size_t>(static_cast<const unsigned char*>(eof) - stream.block);
            stream.input_ended = true;
            stream.ended_at_eof_mark = true;
        }
        if (!stream.input_ended && stream.block[count - 1] == '\r') {
            --count;
            stream.cr_held = true;
        }
        stream.end = drop_cr_before_lf(stream.block, count);
    }
    return true;
}

} // namespace

void text_stream_open(TextStream& stream, ByteSource source, void* handle, std::size_t read_size)
{
    stream.source = source;
    stream.handle = handle;
    stream.read_size = std::clamp<std::size_t>(read_size, 1, kTextBlockSize);
    stream.next = 0;
    stream.end = 0;
    stream.cr_held = false;
    stream.input_ended = false;
    stream.read_failed = false;
    stream.ended_at_eof_mark = false;
    stream.piece_size = 0;
}

long read_from_file(void* file, unsigned char* buffer, std::size_t capacity)
{
    auto* f = static_cast<std::FILE*>(file);
    if (std::ferror(f) != 0) {
        return -1;
    }
    const std::size_t n = std::fread(buffer, 1, capacity, f);
    if (n == 0) {
        return std::ferror(f) != 0 ? -1 : 0;
    }
    return static_cast<long>(n);
}

long read_from_memory(void* source, unsigned char* buffer, std::size_t capacity)
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
    return static_cast<long>(n);
}

std::FILE* open_data_file(const char* name)
{
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
        return nullptr;
    }
#ifdef VALIDATE_HAS_FSTAT
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
#endif
    // The stream reads whole blocks itself; a second buffer would only copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
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

PieceClass classify_piece(const char* piece)
{
    switch (piece[0]) {
    case 'A':
    case 'B':
    case 'C':
        return PieceClass::content;
    case 'H':
        return std::strncmp(piece, kKeyLineKeyword, kKeyLineKeywordLength) == 0
                   ? PieceClass::key_line
                   : PieceClass::content;
    case 'G':
        return PieceClass::signature;
    default:
        return PieceClass::ignored;
    }
}

void clear_slots(SignatureSlots& slots)
{
    slots.first[0] = '\0';
    slots.second[0] = '\0';
    slots.next_is_second = false;
}

void handle_piece(char* piece, SignatureSlots& slots)
{
    const PieceClass piece_class = classify_piece(piece);
    switch (piece_class) {
    case PieceClass::content:
    case PieceClass::key_line:
        strip_line_ends(piece);
        check_step(piece, CHECK_ABSORB, " ", " ");
        if (piece_class == PieceClass::key_line) {
            // A key line can be 79 characters; the key prefix keeps 51.
            const std::size_t length = std::min(std::strlen(piece), kKeyPrefixSize - 1);
            std::memcpy(key_prefix, piece, length);
            key_prefix[length] = '\0';
        }
        break;
    case PieceClass::signature: {
        char* slot = slots.next_is_second ? slots.second : slots.first;
        const std::size_t length = std::min(std::strlen(piece), kSignatureLineSize - 1);
        std::memcpy(slot, piece, length);
        slot[length] = '\0';
        slots.next_is_second = !slots.next_is_second;
        break;
    }
    case PieceClass::ignored:
        break;
    }
}

bool read_data_file(TextStream& stream, SignatureSlots& slots)
{
    char piece[kPieceBufferSize];
    while (read_text_line(piece, kPieceReadSize, stream) != kEndOfInput) {
        handle_piece(piece, slots);
    }
    return !stream.read_failed;
}
