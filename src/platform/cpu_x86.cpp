// SPDX-License-Identifier: MIT
// x86-64 without the GNU C library's answers: the compiler's own probe.
#include "platform/cpu.hpp"

#if !defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>
#include <intrin.h>
#endif

namespace {

#if defined(__GNUC__) || defined(__clang__)
CpuFeatures ask()
{
    __builtin_cpu_init();
    // An int with GCC, a bool with Clang.
    const auto has = [](auto answer) { return static_cast<bool>(answer); };
    return CpuFeatures{
        has(__builtin_cpu_supports("bmi2")),
        has(__builtin_cpu_supports("avx2")),
        has(__builtin_cpu_supports("avx512f")) && has(__builtin_cpu_supports("avx512vl")),
        false,
    };
}
#else
// CPUID tells which instructions the processor has; XGETBV whether the
// system saves the registers they use.
CpuFeatures ask()
{
    int r[4];
    __cpuid(r, 0);
    if (r[0] < 7) {
        return {};
    }
    __cpuid(r, 1);
    const bool os_saves_registers = ((r[2] >> 27) & 1) != 0;
    __cpuidex(r, 7, 0);
    const auto leaf7 = static_cast<unsigned>(r[1]);
    const unsigned long long saved = os_saves_registers ? _xgetbv(0) : 0;
    const bool ymm = (saved & 0x06) == 0x06;
    const bool zmm = (saved & 0xE6) == 0xE6;
    return CpuFeatures{
        ((leaf7 >> 8) & 1) != 0,
        ymm && ((leaf7 >> 5) & 1) != 0,
        zmm && ((leaf7 >> 16) & 1) != 0 && ((leaf7 >> 31) & 1) != 0,
        false,
    };
}
#endif

} // namespace

CpuFeatures cpu_features()
{
    static const CpuFeatures features = ask();
    return features;
}
