// SPDX-License-Identifier: MIT
// datasig's entry point.
#include "datasig/command.hpp"
#include "platform/platform.hpp"

int program_main(int argc, const char* const* argv)
{
    return run_datasig(argc, argv);
}
