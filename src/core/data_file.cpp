// SPDX-License-Identifier: MIT
// The check of a data file held in memory.
#include "core/data_file.hpp"

#include "core/reader.hpp"

std::unique_ptr<TextStream> open_memory_stream(MemorySource& memory, const Bytes& bytes)
{
    memory = MemorySource{bytes.data(), bytes.size(), 0, 0};
    auto stream = std::make_unique<TextStream>();
    text_stream_open(*stream, read_from_memory, &memory);
    return stream;
}

Findings check_bytes(const Bytes& file)
{
    Findings findings{};
    MemorySource memory{};
    const auto stream = open_memory_stream(memory, file);
    const auto context = std::make_unique<CheckContext>();
    check_stream(*stream, *context);
    collect_findings(*context, findings);
    return findings;
}

bool passes_check(const Bytes& file)
{
    return passed(check_bytes(file));
}
