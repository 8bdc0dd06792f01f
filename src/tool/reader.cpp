// SPDX-License-Identifier: MIT
#include "tool/reader.hpp"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/platform.hpp"

#if defined(__SSE2__) || defined(_M_X64)
#define VALIDATE_READER_SSE2 1
#include <emmintrin.h>
#endif

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

namespace {

// Bit i set when p[i] is c, for the 64 bytes at p.
std::uint64_t byte_bits(const unsigned char* p, unsigned char c)
{
    std::uint64_t bits = 0;
#ifdef VALIDATE_READER_SSE2
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(c));
    for (std::size_t i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
        bits |= std::uint64_t{mask} << (16 * i);
    }
#else
    for (int i = 0; i < 64; ++i) {
        bits |= std::uint64_t{p[i] == c} << i;
    }
#endif
    return bits;
}

// Moves the bytes not yet delivered to the block's front and adds what one
// more read of the source gives, as read. A stream whose input has ended
// reads nothing more, but gives back a CR it held.
void read_more(TextStream& stream)
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
            if (const void* eof = std::memchr(fresh, kEofMark, static_cast<std::size_t>(n))) {
                count = static_cast<std::size_t>(static_cast<const unsigned char*>(eof) - stream.block);
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
        read_more(stream);
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
    stream.raw_from = 0;
    stream.cr_held = false;
    stream.input_ended = false;
    stream.read_failed = false;
    stream.ended_at_eof_mark = false;
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

// ---- Pieces

namespace {

// A, B, C and H begin content pieces. Tested without a branch for each
// letter: classes follow one another in no order a processor could predict.
bool is_content_class(char first)
{
    const auto offset = static_cast<unsigned char>(first - 'A');
    return offset < 3 || offset == 'H' - 'A';
}

// A piece's class, from its first length characters (up to its first NUL).
PieceClass classify(const char* piece, std::size_t length)
{
    if (is_content_class(piece[0])) {
        return length >= kKeyLineKeywordLength &&
                       std::memcmp(piece, kKeyLineKeyword, kKeyLineKeywordLength) == 0
                   ? PieceClass::key_line
                   : PieceClass::content;
    }
    return piece[0] == 'G' ? PieceClass::signature : PieceClass::ignored;
}

// What handle counts, kept apart from the context while a block is read so
// that the counts can stay in registers.
struct Counts {
    std::uint64_t digested;
    std::uint64_t ignored;
    std::uint64_t signature;
    std::uint64_t lines_ended;
};

Counts counts_of(const CheckContext& context)
{
    return {context.digested_pieces, context.ignored_pieces, context.signature_pieces,
            context.lines_ended};
}

void store_counts(CheckContext& context, const Counts& counts)
{
    context.digested_pieces = counts.digested;
    context.ignored_pieces = counts.ignored;
    context.signature_pieces = counts.signature;
    context.lines_ended = counts.lines_ended;
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

// Handles the first length characters of a piece (up to its first NUL; its
// LF, if any, included) by its class, and counts it. A content text, without
// its LFs, goes to absorb(text_length), after the key line has been kept:
// absorb may move it. ends_line: the piece took an LF from the stream.
template <typename Absorb>
void handle(CheckContext& context, Counts& counts, const char* piece, std::size_t length,
            bool ends_line, Absorb absorb)
{
    const PieceClass piece_class = classify(piece, length);
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
}

} // namespace

PieceClass classify_piece(const char* piece)
{
    return classify(piece, std::strlen(piece));
}

void handle_piece(CheckContext& context, char* piece, std::size_t size)
{
    const bool ends_line = size > 0 && piece[size - 1] == '\n';
    Counts counts = counts_of(context);
    handle(context, counts, piece, std::strlen(piece), ends_line, [&](std::size_t text_length) {
        piece[text_length] = '\0';
        check_absorb(context, piece, text_length);
    });
    store_counts(context, counts);
}

// ---- Whole files

namespace {

// Content texts gathered for the digest, so that it absorbs them in runs of
// whole blocks rather than one short text at a time. A text is copied as a
// fixed 80 bytes whatever its length, which costs no branch: the room past
// kGatheredSize takes the excess. Kept small, with the stretch below, so that
// the walk's stack frame stays within about one page: on a small file each
// new page touched is a page fault, dearer than the whole check.
constexpr std::size_t kGatheredSize = 1024;
constexpr std::size_t kFixedCopy = 80;

struct Gathered {
    std::size_t length;
    unsigned char bytes[kGatheredSize + kFixedCopy];
};

void absorb_gathered(CheckContext& context, Gathered& gathered)
{
    check_absorb(context, reinterpret_cast<const char*>(gathered.bytes), gathered.length);
    gathered.length = 0;
}

// Absorbs the gathered texts up to where a block of the digest ends, and keeps
// the rest, less than a block, for later: the digest then reads each block
// where it lies rather than assembling it word by word. Called with at least
// a block gathered.
void absorb_whole_blocks(CheckContext& context, Gathered& gathered)
{
    const auto pending =
        static_cast<std::size_t>(context.digest_context.byte_count[0] % kDigestBlockSize);
    const std::size_t taken = (pending + gathered.length) / kDigestBlockSize * kDigestBlockSize - pending;
    check_absorb(context, reinterpret_cast<const char*>(gathered.bytes), taken);
    gathered.length -= taken;
    std::memmove(gathered.bytes, gathered.bytes + taken, gathered.length);
}

void gather(CheckContext& context, Gathered& gathered, const unsigned char* text, std::size_t length)
{
    std::memcpy(gathered.bytes + gathered.length, text, length);
    gathered.length += length;
    if (gathered.length >= kGatheredSize) {
        absorb_whole_blocks(context, gathered);
    }
}

// The LFs of a stretch of the block, as positions in order: finding each
// piece's end is then one load, and walking the pieces has no branch that
// depends on where in a group of 64 bytes a line ends.
constexpr std::size_t kStretch = 512;

struct LineFeeds {
    std::size_t count;
    // Room for the positions written past count by the last group.
    std::uint32_t at[kStretch + 8];
};

// The number of bits set, without the call that std::popcount becomes on
// processors whose baseline has no instruction for it.
int count_bits(std::uint64_t x)
{
    x -= (x >> 1) & 0x5555555555555555;
    x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<int>((x * 0x0101010101010101) >> 56);
}

void find_line_feeds(const unsigned char* block, std::size_t from, std::size_t to, LineFeeds& feeds)
{
    feeds.count = 0;
    for (std::size_t base = from; base < to; base += 64) {
        std::uint64_t bits = byte_bits(block + base, '\n');
        if (to - base < 64) {
            bits &= (std::uint64_t{1} << (to - base)) - 1;
        }
        const int count = count_bits(bits);
        std::uint32_t* const out = feeds.at + feeds.count;
        // Four positions written whatever the count, with no branch on it:
        // most groups of 64 bytes hold fewer LFs, and the spare positions are
        // overwritten. A branch on how many there are would be mispredicted
        // about once a group.
        // The top bit keeps each scan's operand from being zero, which the
        // compiler would otherwise branch on; it does not move a lower bit.
        constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;
        for (int k = 0; k < 4; ++k) {
            out[k] = static_cast<std::uint32_t>(base) +
                     static_cast<std::uint32_t>(std::countr_zero(bits | kTopBit));
            bits &= bits - 1;
        }
        for (int k = 4; k < count; ++k) {
            out[k] = static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(std::countr_zero(bits));
            bits &= bits - 1;
        }
        feeds.count += static_cast<std::size_t>(count);
    }
}

// Whether the piece at p must go the general way: it may be a signature or
// a key line. Reads 8 bytes, which the block has room for.
bool needs_care(const unsigned char* p)
{
    std::uint64_t first8;
    std::memcpy(&first8, p, 8);
    std::uint64_t keyword8;
    std::memcpy(&keyword8, kKeyLineKeyword, 8);
    return p[0] == 'G' || first8 == keyword8;
}

struct Walk {
    unsigned char* block;
    // Where the bytes as read begin.
    std::size_t raw_from;
    bool has_nul;
    Counts counts;
    Gathered gathered;
};

// Handles the piece of size bytes at block[at] the general way.
void handle_in_place(CheckContext& context, Walk& walk, std::size_t at, std::size_t size)
{
    const auto* piece = reinterpret_cast<const char*>(walk.block + at);
    const std::size_t length =
        walk.has_nul ? static_cast<std::size_t>(std::find(piece, piece + size, '\0') - piece) : size;
    handle(context, walk.counts, piece, length, piece[size - 1] == '\n', [&](std::size_t text_length) {
        gather(context, walk.gathered, walk.block + at, text_length);
    });
}

constexpr auto kPieceLimit = static_cast<std::size_t>(kPieceReadSize - 1);

// Handles the pieces of the line at block[at] whose LF is at block[lf] the
// general way: a line of more than 79 characters, one that may be a
// signature or a key line, or any line of a block that holds a NUL.
void handle_line_with_care(CheckContext& context, Walk& walk, std::size_t at, std::size_t lf)
{
    for (; lf - at >= kPieceLimit; at += kPieceLimit) {
        handle_in_place(context, walk, at, kPieceLimit);
    }
    handle_in_place(context, walk, at, lf - at + 1);
}

// Handles the lines of a stretch whose LFs are in feeds, the first at
// block[at]; returns where the line after them starts.
template <bool kCrs>
std::size_t handle_lines(CheckContext& context, Walk& walk, std::size_t at, const LineFeeds& feeds)
{
    // The common line's counts and the gathered length, kept in registers
    // rather than in walk, which the calls below may read: held in memory,
    // each line would wait on the last one's store.
    std::size_t length = walk.gathered.length;
    std::uint64_t lines = 0;
    std::uint64_t contents = 0;
    const auto store = [&] {
        walk.gathered.length = length;
        walk.counts.lines_ended += lines;
        walk.counts.digested += contents;
        walk.counts.ignored += lines - contents;
        lines = 0;
        contents = 0;
    };
    for (std::size_t i = 0; i < feeds.count; ++i) {
        const std::size_t lf = feeds.at[i];
        // A CR LF as read ends its line as one LF: the CR takes the LF's
        // place and the LF is passed over. Without a branch; the common path
        // copies the text before it and needs no LF written.
        std::size_t line_end = lf;
        if constexpr (kCrs) {
            const std::size_t cr_before = walk.block[lf - (lf != 0 ? 1 : 0)] == '\r' ? 1 : 0;
            line_end = lf - (cr_before & static_cast<std::size_t>(lf > std::max(at, walk.raw_from)));
        }
        const std::size_t size = line_end - at + 1;
        const unsigned char* piece = walk.block + at;
        if (size <= kPieceLimit && !walk.has_nul && !needs_care(piece)) {
            // A content or an ignored piece that ends a line: the common
            // case, with no branch on which it is.
            const std::size_t content = is_content_class(static_cast<char>(piece[0])) ? 1 : 0;
            std::memcpy(walk.gathered.bytes + length, piece, kFixedCopy);
            length += content * (size - 1);
            contents += content;
            ++lines;
            if (length >= kGatheredSize) {
                store();
                absorb_whole_blocks(context, walk.gathered);
                length = walk.gathered.length;
            }
        } else {
            store();
            walk.block[line_end] = '\n';
            handle_line_with_care(context, walk, at, line_end);
            length = walk.gathered.length;
        }
        at = lf + 1;
    }
    store();
    return at;
}

// Handles the pieces that lie whole in the block: each ends at an LF, or
// after 79 characters. Their content texts go to the digest in order.
void handle_whole_pieces(TextStream& stream, CheckContext& context)
{
    const std::size_t end = stream.end;
    std::size_t at = stream.next;
    if (at == end) {
        return;
    }
    // Left uninitialized but for its length: the gathered bytes are written
    // before they are read.
    Walk walk;
    walk.block = stream.block;
    walk.has_nul = std::memchr(stream.block + at, '\0', end - at) != nullptr;
    walk.raw_from = std::max(stream.raw_from, at);
    const bool has_cr = walk.raw_from < end &&
                        std::memchr(stream.block + walk.raw_from, '\r', end - walk.raw_from) != nullptr;
    walk.counts = counts_of(context);
    walk.gathered.length = 0;
    LineFeeds feeds;
    for (std::size_t from = at; from < end; from += kStretch) {
        find_line_feeds(stream.block, from, std::min(from + kStretch, end), feeds);
        at = has_cr ? handle_lines<true>(context, walk, at, feeds)
                    : handle_lines<false>(context, walk, at, feeds);
    }
    // The rest holds no LF: only its whole pieces of 79 characters are handled.
    for (; end - at >= kPieceLimit; at += kPieceLimit) {
        handle_in_place(context, walk, at, kPieceLimit);
    }
    // What is left holds no LF, so no CR LF either: it is as translated.
    stream.next = at;
    stream.raw_from = end;
    store_counts(context, walk.counts);
    absorb_gathered(context, walk.gathered);
}

} // namespace

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
        handle_piece(context, piece, stream.piece_size);
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

void check_feed_open(TextStream& stream, CheckContext& context)
{
    text_stream_open(stream, nullptr, nullptr, kFeedReadSize);
    check_start(context);
}

void check_feed(TextStream& stream, CheckContext& context, const unsigned char* data,
                std::size_t size)
{
    MemorySource chunk{data, size, 0, 0};
    stream.source = read_from_memory;
    stream.handle = &chunk;
    while (chunk.at < chunk.size && !stream.input_ended) {
        read_more(stream);
        handle_whole_pieces(stream, context);
    }
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
