// SPDX-License-Identifier: MIT
#include "platform/platform.hpp"

int main(int argc, char** argv)
{
    return program_main(argc, argv);
}
