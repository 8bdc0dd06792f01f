// SPDX-License-Identifier: MIT
// Cutting UTF-8 text into pieces of bounded size, for interfaces that take
// text in parts.
#pragma once

#include <cstddef>

// The size of the first piece of text (size bytes) that holds at most most
// bytes (most > 0): cut before a character's first byte rather than inside
// it, where there is one to cut before. Never 0 while size is not, so that a
// loop over the pieces always moves on, invalid text included.
inline std::size_t utf8_piece_size(const char* text, std::size_t size, std::size_t most)
{
    if (size <= most) {
        return size;
    }
    std::size_t n = most;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
        --n;
    }
    return n > 0 ? n : most;
}
