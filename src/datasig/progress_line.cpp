// SPDX-License-Identifier: MIT
// Drawing and erasing datasig check's progress line.
#include "datasig/progress_line.hpp"

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/platform.hpp"

void ProgressLine::update(std::size_t done, std::size_t total, std::uint64_t bytes)
{
    const Clock::time_point time = Clock::now();
    if (!wanted_ || time - start_ < std::chrono::seconds(1) ||
        (shown() && time - drawn_ < std::chrono::milliseconds(200))) {
        return;
    }
    const double seconds = std::chrono::duration<double>(time - start_).count();
    const auto tenths = static_cast<std::uint64_t>(static_cast<double>(bytes) * 10.0 / seconds /
                                                   (1024.0 * 1024.0));
    // Texts are appended one by one: a literal before a temporary string
    // sets off a false -Wrestrict in GCC 12.
    std::string text = "\rchecked ";
    text += std::to_string(done);
    text += total == 0 ? " files, " : " of " + std::to_string(total) + " files, ";
    text += std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MiB/s";
    const std::size_t text_length = text.size() - 1;
    // Spaces over what is left of a longer line before.
    text.append(shown_ > text_length ? shown_ - text_length : 0, ' ');
    write_text(text.c_str(), stderr);
    shown_ = std::max(shown_, text_length);
    drawn_ = time;
}

void ProgressLine::erase()
{
    if (shown()) {
        std::string spaces(shown_ + 2, ' ');
        spaces.front() = '\r';
        spaces.back() = '\r';
        write_text(spaces.c_str(), stderr);
        shown_ = 0;
    }
}
