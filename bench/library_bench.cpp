// SPDX-License-Identifier: MIT
// Times the library's check of a file held in memory, as a program that
// has downloaded or generated the bytes would call it; the file is read
// before the clock starts.
//   library_bench FILE [RUNS]
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "validate.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: library_bench FILE [RUNS]\n", stderr);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "library_bench: cannot open %s\n", argv[1]);
        return 2;
    }
    std::vector<unsigned char> bytes;
    unsigned char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    std::fclose(file);

    // Processor time too: on a busy machine it says more than the clock.
    std::vector<double> times;
    std::vector<double> processor_times;
    validate_status status = VALIDATE_PASSED;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t processor_start = std::clock();
        status = validate_check_bytes(bytes.data(), bytes.size(), nullptr);
        processor_times.push_back(1000.0 * static_cast<double>(std::clock() - processor_start) /
                                  CLOCKS_PER_SEC);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        times.push_back(took.count());
    }
    std::sort(times.begin(), times.end());
    std::sort(processor_times.begin(), processor_times.end());
    std::printf("%s: %zu bytes in memory, %s; median of %d checks %.1f ms (fastest %.1f ms), "
                "processor time %.1f ms\n",
                argv[1], bytes.size(), validate_status_message(status), runs,
                times[times.size() / 2], times.front(), processor_times[processor_times.size() / 2]);
    return status == VALIDATE_PASSED || status == VALIDATE_ALTERED ? 0 : 2;
}
