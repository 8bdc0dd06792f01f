// What the processor offers the SHA-512 compression builds.
#pragma once

struct CpuFeatures {
    bool bmi2;
    bool avx2;
    bool avx512vl; // with AVX-512F
};

// Asked of the processor and the system on the first call.
const CpuFeatures& cpu_features();
