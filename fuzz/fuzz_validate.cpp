// SPDX-License-Identifier: MIT
// Arbitrary bytes as a data file, through the tool's own reader and check.
// The first byte chooses how many bytes each read gives, so that reads end
// everywhere: the outcome must be the same as when the file is read in
// whole blocks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "check/check.hpp"
#include "tool/reader.hpp"

namespace {

struct Outcome {
    unsigned char digest[64];
    char key_prefix[kKeyPrefixSize];
    SignatureSlots slots;
    bool verdict;
};

void check_bytes(const std::uint8_t* data, std::size_t size, std::size_t read_size, Outcome& outcome)
{
    MemorySource memory{data, size, 0, 0};
    static TextStream stream;
    text_stream_open(stream, read_from_memory, &memory, read_size);
    if (!check_stream(stream, outcome.slots)) {
        std::abort();
    }
    outcome.verdict = check_verify(outcome.slots.first, outcome.slots.second);
    std::memcpy(outcome.digest, check_digest(), sizeof outcome.digest);
    std::memcpy(outcome.key_prefix, key_prefix, sizeof outcome.key_prefix);
}

bool same(const Outcome& a, const Outcome& b)
{
    return std::memcmp(a.digest, b.digest, sizeof a.digest) == 0 &&
           std::strcmp(a.key_prefix, b.key_prefix) == 0 &&
           std::strcmp(a.slots.first, b.slots.first) == 0 &&
           std::strcmp(a.slots.second, b.slots.second) == 0 && a.verdict == b.verdict;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    // The verdicts of millions of runs are of no interest; libFuzzer reports on standard error.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t read_size = data[0] % 80 + 1;
    static Outcome whole;
    static Outcome split;
    check_bytes(data + 1, size - 1, kTextBlockSize, whole);
    check_bytes(data + 1, size - 1, read_size, split);
    if (!same(whole, split)) {
        std::abort();
    }
    return 0;
}
