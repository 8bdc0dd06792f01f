// SPDX-License-Identifier: MIT
// Arbitrary bytes as a data file, through the tool's own reader and check.
// The first byte chooses how many bytes each read gives, so that reads end
// everywhere: the outcome must be the same as when the file is read in
// whole blocks.
#include <cstdint>
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
    static CheckContext context;
    text_stream_open(stream, read_from_memory, &memory, read_size);
    if (!check_stream(stream, context)) {
        std::abort();
    }
    outcome.slots = context.slots;
    outcome.verdict = check_passes(context);
    std::memcpy(outcome.digest, context.digest, sizeof outcome.digest);
    std::memcpy(outcome.key_prefix, context.key_prefix, sizeof outcome.key_prefix);
}

bool same(const Outcome& a, const Outcome& b)
{
    return std::memcmp(a.digest, b.digest, sizeof a.digest) == 0 &&
           std::strcmp(a.key_prefix, b.key_prefix) == 0 &&
           std::strcmp(a.slots.first, b.slots.first) == 0 &&
           std::strcmp(a.slots.second, b.slots.second) == 0 && a.verdict == b.verdict;
}

} // namespace

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
