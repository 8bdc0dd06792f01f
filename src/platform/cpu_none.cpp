// SPDX-License-Identifier: MIT
// Processors for which only the portable SHA-512 compression is built.
#include "platform/cpu.hpp"

CpuFeatures cpu_features()
{
    return CpuFeatures{};
}
