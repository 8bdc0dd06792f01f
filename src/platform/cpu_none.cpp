// SPDX-License-Identifier: MIT
// Processors for which only the portable SHA-512 compression is built.
#include "platform/cpu.hpp"

const CpuFeatures& cpu_features()
{
    static const CpuFeatures none{};
    return none;
}
