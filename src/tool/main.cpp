// SPDX-License-Identifier: MIT
// validate's entry point: the run, and a verdict that could not be written.
#include <cstdio>

#include "platform/platform.hpp"
#include "tool/run.hpp"

int program_main(int argc, const char* const* argv)
{
    const int status = run_validation(argc, argv);
    // A verdict that could not be written must not read as success to a script.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        return status == 0 ? 1 : status;
    }
    return status;
}
