// SPDX-License-Identifier: MIT
// x86-64 with the GNU C library, which probes the processor before main:
// its answers are read, not asked again. Under a hypervisor each CPUID
// traps, and on a small file start-up is most of the run.
#include <sys/platform/x86.h>

#include "platform/cpu.hpp"

// Read on each call rather than kept in a local static: its guard would
// bring the C++ exception runtime into validate, whose start-up allocates an
// emergency pool, pages faulted in on every run.
CpuFeatures cpu_features()
{
    return CpuFeatures{
        CPU_FEATURE_ACTIVE(BMI2),
        CPU_FEATURE_ACTIVE(AVX2),
        CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512VL),
        false,
    };
}
