// SPDX-License-Identifier: MIT
// The check of one file: its digest started, fed and finished, and the
// file's signature slots compared with the expected lines.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "check/check.hpp"

void check_start(CheckContext& context)
{
    digest_reset(context.digest_context);
    context.key_prefix[0] = '\0';
    context.slots.first[0] = '\0';
    context.slots.second[0] = '\0';
    context.slots.next_is_second = false;
    context.digested_pieces = 0;
    context.ignored_pieces = 0;
    context.signature_pieces = 0;
    context.key_lines = 0;
    context.lines_ended = 0;
    context.next_column = 1;
    context.key_line_number = 0;
    context.key_line[0] = '\0';
    context.found_line[0] = 0;
    context.found_line[1] = 0;
}

void check_absorb(CheckContext& context, const char* text, std::size_t length)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    while (length > 0) {
        const auto part = static_cast<std::uint32_t>(std::min<std::size_t>(length, UINT32_MAX));
        digest_absorb(bytes, part, context.digest_context);
        bytes += part;
        length -= part;
    }
}

void check_finish(CheckContext& context)
{
    digest_finish(context.digest, context.digest_context, kDigestSize);
}

void check_expected_lines(CheckContext& context, char* first_line, char* second_line)
{
    make_signature_lines(context, context.digest, kDigestSize, first_line, second_line);
}

bool check_slots_match(CheckContext& context, const char* first_slot, const char* second_slot)
{
    char expected_first[kSignatureLineSize];
    char expected_second[kSignatureLineSize];
    check_expected_lines(context, expected_first, expected_second);
    return std::strncmp(first_slot, expected_first, kComparedLength) == 0 &&
           std::strncmp(second_slot, expected_second, kComparedLength) == 0;
}

bool check_passes(CheckContext& context)
{
    return check_slots_match(context, context.slots.first, context.slots.second);
}
