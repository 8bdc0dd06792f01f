// SPDX-License-Identifier: MIT
// The entry point on POSIX systems, whose arguments are already bytes.
#include "platform/platform.hpp"

int main(int argc, char** argv)
{
    return program_main(argc, argv);
}
