// SPDX-License-Identifier: MIT
// Signing: a data file's bytes with its signature lines made correct.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/data_file.hpp"

// The check a signed output must pass before it is written anywhere.
using OutputCheck = bool (*)(const Bytes& output);

struct SignResult {
    bool signed_ok;
    Bytes output;
    std::string problem; // why nothing can be written, when !signed_ok
    bool crlf;           // the line ends used for the added lines
    bool swapped;        // the second line is written first (see sign_bytes)
    std::size_t dropped_lines;
    // Dropped lines longer than 79 characters: what followed their 79th
    // character may have been checked content, and is gone with them.
    std::vector<std::size_t> long_dropped_lines;
};

// The file's bytes with every whole line that begins with G dropped, the
// last line given a line end, and the two expected signature lines added
// after it: at the end of what the reader reads, that is before the first
// 0x1A byte, whose bytes from there on are kept as they are. A long line
// whose 80th, 159th ... character is G fills a signature slot by itself;
// when there is an odd number of those, the two lines are written in swapped
// order so that each lands in its own slot. The result is then run through
// check, and refused if it does not pass.
SignResult sign_bytes(const Bytes& file, OutputCheck check = passes_check);
