// SPDX-License-Identifier: MIT
// Linux on AArch64: the kernel tells which instructions user code may run.
#include <sys/auxv.h>

#include "platform/cpu.hpp"

const CpuFeatures& cpu_features()
{
    static const CpuFeatures features{
        .bmi2 = false,
        .avx2 = false,
        .avx512vl = false,
        .sha512 = (getauxval(AT_HWCAP) & HWCAP_SHA512) != 0,
    };
    return features;
}
