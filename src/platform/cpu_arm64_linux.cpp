// SPDX-License-Identifier: MIT
// Linux on AArch64: the kernel tells which instructions user code may run.
#include <sys/auxv.h>

#include "platform/cpu.hpp"

// getauxval reads what the kernel handed over at start-up: no need to keep it.
CpuFeatures cpu_features()
{
    return CpuFeatures{
        .bmi2 = false,
        .avx2 = false,
        .avx512vl = false,
        .sha512 = (getauxval(AT_HWCAP) & HWCAP_SHA512) != 0,
    };
}
