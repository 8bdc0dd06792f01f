// SPDX-License-Identifier: MIT
// Times the library's check of a file held in memory, as a program that
// has downloaded or generated the bytes would call it; the file is read
// before the clock starts.
//   library_bench FILE [RUNS]
#include <algorithm>
#include <chrono>
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

    std::vector<double> times;
    validate_status status = VALIDATE_PASSED;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        status = validate_check_bytes(bytes.data(), bytes.size(), nullptr);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        times.push_back(took.count());
    }
    std::sort(times.begin(), times.end());
    std::printf("%s: %zu bytes in memory, %s; median of %d checks %.1f ms (fastest %.1f ms)\n",
                argv[1], bytes.size(), validate_status_message(status), runs,
                times[times.size() / 2], times.front());
    return status == VALIDATE_PASSED || status == VALIDATE_ALTERED ? 0 : 2;
}
