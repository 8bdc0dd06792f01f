// SPDX-License-Identifier: MIT
// How far a long run of datasig check has gone, on one line of standard
// error that is written over: only where a person watches (a terminal), and
// only once the run has taken a second.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

class ProgressLine {
public:
    explicit ProgressLine(bool wanted) : wanted_(wanted), start_(Clock::now()) {}

    bool shown() const
    {
        return shown_ > 0;
    }

    // Drawn again at most five times a second, and at once after erase.
    // total is 0 while the files are still being found.
    void update(std::size_t done, std::size_t total, std::uint64_t bytes);

    void erase();

private:
    using Clock = std::chrono::steady_clock;

    bool wanted_;
    Clock::time_point start_;
    Clock::time_point drawn_;
    std::size_t shown_ = 0; // characters of the line on the terminal
};
