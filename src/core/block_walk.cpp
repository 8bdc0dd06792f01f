// SPDX-License-Identifier: MIT
// The walk over the pieces that lie whole in a block of the text stream:
// each common line costs one fixed copy and no branch on its class, and the
// content goes to the digest in runs of whole blocks. Any other piece is
// handled the general way, as a piece read alone would be.
#include "core/block_walk.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/find_byte.hpp"

#if defined(__SSE2__) || defined(_M_X64)
#define VALIDATE_READER_SSE2 1
#include <emmintrin.h>
#endif

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
// a key line, or a signature line in lowercase, which an observer is told
// of. Reads 8 bytes, which the block has room for.
bool needs_care(const unsigned char* p)
{
    std::uint64_t first8;
    std::memcpy(&first8, p, 8);
    std::uint64_t keyword8;
    std::memcpy(&keyword8, kKeyLineKeyword, 8);
    // G and g alone become g when the bit of lowercase is set.
    return (p[0] | 0x20) == 'g' || first8 == keyword8;
}

struct Walk {
    unsigned char* block;
    // Where the bytes as read begin.
    std::size_t raw_from;
    bool has_nul;
    // Lines that begin before this go the general way: every line of a block
    // that holds a NUL, and the rest of a line whose start an earlier read
    // took, whose pieces do not begin their line.
    std::size_t care_before;
    PieceObserver* observer;
    PieceCounts counts;
    Gathered gathered;
};

// Handles the piece of size bytes at block[at] the general way.
void handle_in_place(CheckContext& context, Walk& walk, std::size_t at, std::size_t size)
{
    const auto* piece = reinterpret_cast<const char*>(walk.block + at);
    const std::size_t length =
        walk.has_nul ? static_cast<std::size_t>(std::find(piece, piece + size, '\0') - piece) : size;
    handle(context, walk.counts, walk.observer, piece, length, size, [&](std::size_t text_length) {
        gather(context, walk.gathered, walk.block + at, text_length);
    });
}

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
        if (size <= kPieceLimit && at >= walk.care_before && !needs_care(piece)) {
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

} // namespace

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
    walk.has_nul = find_byte(stream.block + at, '\0', end - at) != nullptr;
    walk.observer = stream.observer;
    walk.raw_from = std::max(stream.raw_from, at);
    const bool has_cr = walk.raw_from < end &&
                        find_byte(stream.block + walk.raw_from, '\r', end - walk.raw_from) != nullptr;
    walk.counts = counts_of(context);
    walk.care_before = walk.has_nul ? end : (walk.counts.column != 1 ? at + 1 : 0);
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
