// SPDX-License-Identifier: MIT
// Arbitrary bytes as a data file, through the library's C interface. The
// first byte chooses the chunks the streaming checker is given: its result
// must be that of the check of the whole, to the byte. Signing must give a
// file that passes, or refuse; explaining must agree with the check.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "validate.h"

namespace {

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    // Up to 256 bytes a chunk, empty chunks included, or 1 byte each.
    const std::size_t most = std::size_t{1} << (data[0] % 9);
    unsigned random = data[0];
    ++data;
    --size;

    static validate_result whole;
    static validate_result split;
    std::memset(&whole, 0, sizeof whole);
    std::memset(&split, 0, sizeof split);
    const validate_status status = validate_check_bytes(data, size, &whole);
    require(status == VALIDATE_PASSED || status == VALIDATE_ALTERED);
    // One checker for every input, as a program that checks many files keeps one.
    static validate_checker* const checker = validate_checker_new();
    for (std::size_t at = 0, n; at < size; at += n) {
        random = random * 1103515245u + 12345u;
        n = std::min<std::size_t>(size - at, most == 1 ? 1 : (random >> 16) % (most + 1));
        require(validate_checker_update(checker, data + at, n) == VALIDATE_PASSED);
    }
    require(validate_checker_final(checker, &split) == status);
    require(std::memcmp(&whole, &split, sizeof whole) == 0);

    std::vector<unsigned char> out(validate_sign_bound(size));
    std::size_t out_size = 0;
    const validate_status sign = validate_sign(data, size, out.data(), out.size(), &out_size);
    require(sign == VALIDATE_ERROR_SIGN ||
            (sign == VALIDATE_PASSED &&
             validate_check_bytes(out.data(), out_size, nullptr) == VALIDATE_PASSED));

    std::size_t length = 0;
    std::vector<char> text(std::size_t{1} << 16);
    validate_status explain = validate_explain(data, size, "f", text.data(), text.size(), &length);
    if (explain == VALIDATE_ERROR_SPACE) {
        text.resize(length + 1);
        explain = validate_explain(data, size, "f", text.data(), text.size(), &length);
    }
    require(explain == status);
    const std::string report(text.data());
    const std::string verdict = status == VALIDATE_PASSED
                                    ? "Validation check passed, data indicated as correct\n"
                                    : "Validation check failed\nFile data may have been altered\n";
    char head[128];
    std::snprintf(head, sizeof head,
                  "file: f\npieces: %llu digested, %llu ignored, %llu signature\n",
                  static_cast<unsigned long long>(whole.digested_pieces),
                  static_cast<unsigned long long>(whole.ignored_pieces),
                  static_cast<unsigned long long>(whole.signature_pieces));
    require(report.size() == length && report.starts_with(head) && report.ends_with(verdict));
    return 0;
}
