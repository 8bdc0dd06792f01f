// SPDX-License-Identifier: MIT
#include "datasig/data_file.hpp"

#include <cstring>

std::unique_ptr<TextStream> open_memory_stream(MemorySource& memory, const Bytes& bytes)
{
    memory = MemorySource{bytes.data(), bytes.size(), 0, 0};
    auto stream = std::make_unique<TextStream>();
    text_stream_open(*stream, read_from_memory, &memory);
    return stream;
}

void collect_check(CheckResult& result)
{
    std::memcpy(result.digest, check_digest(), kDigestSize);
    result.key_prefix = key_prefix;
    char first[kSignatureLineSize];
    char second[kSignatureLineSize];
    make_signature_lines(result.digest, kDigestSize, first, second);
    result.expected_first.assign(first, kComparedLength);
    result.expected_second.assign(second, kComparedLength);
    result.passed = signature_slots_match(result.slots.first, result.slots.second);
}

CheckResult check_bytes(const Bytes& file)
{
    CheckResult result{};
    MemorySource memory{};
    const auto stream = open_memory_stream(memory, file);
    check_stream(*stream, result.slots);
    collect_check(result);
    return result;
}

bool passes_check(const Bytes& file)
{
    return check_bytes(file).passed;
}
