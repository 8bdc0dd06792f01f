// SPDX-License-Identifier: MIT
// Runs a program the way a script does and keeps what it wrote and how it ended.
#pragma once

#include <string>
#include <vector>

namespace test_support {

struct RunResult {
    std::string out;
    std::string err;
    int status; // the exit status, or 128 + the signal that ended it
};

struct RunOptions {
    std::string directory;   // where it runs; empty for here
    std::string stdout_path; // a file to take its standard output; empty to keep it
    std::string stdin_path{}; // a file it reads as standard input; empty for none
    int max_open_files = 0;  // a lower limit on open files; 0 keeps the current one (POSIX)
    // Standard output carries bytes, not text, and is kept as it is. Text
    // output is kept with LF line ends, and must have had the platform's:
    // on Windows every LF a CR before it, or the text tells where one lacked it.
    bool binary_output = false;
    // Standard error is a terminal (a pseudo-terminal whose output is kept);
    // POSIX only.
    bool stderr_on_terminal = false;
    // With stderr_on_terminal, standard output is that terminal too: what
    // both streams write is kept in err, in the order the terminal got it.
    bool stdout_on_terminal = false;
};

// program and args are UTF-8.
RunResult run_binary(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options = {});

// Runs /bin/sh -c script with args as $0, $1 ...; a program of the build
// that the script runs must be run as $TEST_EMULATOR "$0" ..., which is
// "$0" ... where the build runs natively. POSIX only.
RunResult run_shell(const std::string& script, const std::vector<std::string>& args,
                    const RunOptions& options = {});

// How the system reports an exit status of -1: 255 where statuses are
// 8 bits wide, -1 on Windows.
extern const int kStatusMinusOne;

// Tests of a POSIX facility that Windows lacks skip there, saying why.
extern const bool kWindows;

#define SKIP_ON_WINDOWS(why)                                                                      \
    if (test_support::kWindows)                                                                   \
    GTEST_SKIP() << (why)

} // namespace test_support
