// SPDX-License-Identifier: MIT
// What the processor offers the SHA-512 compression builds.
#pragma once

struct CpuFeatures {
    bool bmi2;
    bool avx2;
    bool avx512vl; // with AVX-512F
    bool sha512;   // the ARMv8.2 SHA-512 instructions
};

// What the processor and the system allow. Cheap to ask again: where the
// answer costs instructions that trap under a hypervisor, it is kept.
CpuFeatures cpu_features();
