// SPDX-License-Identifier: MIT
// Prints the name of the SHA-512 compression build a process chooses, so that
// a test can run it with some of the processor's features masked.
#include <cstdio>

#include "crypto/sha512_compress.hpp"

int main()
{
    std::puts(sha512_compression().name);
    return 0;
}
