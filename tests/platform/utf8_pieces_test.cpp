// SPDX-License-Identifier: MIT
#include "platform/utf8_pieces.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8Pieces, CutBetweenCharactersAndAlwaysMoveOn)
{
    struct Case {
        std::string text;
        std::size_t most;
        std::size_t size;
    };
    const std::string omega = "\xCE\xA9"; // two bytes
    const Case cases[] = {
        {"abc", 4, 3},
        {"abcdef", 4, 4},
        {"abc" + omega, 4, 3},                     // not inside the two-byte character
        {omega + omega + omega, 3, 2},
        {std::string(10, '\x80'), 4, 4},           // no character begins: cut anyway
        {"\xE2\x82\xAC" + std::string(5, 'a'), 2, 2}, // a character longer than a piece
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8_piece_size(c.text.data(), c.text.size(), c.most), c.size) << c.text;
    }
}

} // namespace
