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

void collect_check(CheckContext& context, CheckResult& result)
{
    std::memcpy(result.digest, context.digest, kDigestSize);
    result.key_prefix = context.key_prefix;
    char first[kSignatureLineSize];
    char second[kSignatureLineSize];
    check_expected_lines(context, first, second);
    result.expected_first.assign(first, kComparedLength);
    result.expected_second.assign(second, kComparedLength);
    result.slots = context.slots;
    result.passed = check_passes(context);
}

CheckResult check_bytes(const Bytes& file)
{
    CheckResult result{};
    MemorySource memory{};
    const auto stream = open_memory_stream(memory, file);
    const auto context = std::make_unique<CheckContext>();
    check_stream(*stream, *context);
    collect_check(*context, result);
    return result;
}

bool passes_check(const Bytes& file)
{
    return check_bytes(file).passed;
}
