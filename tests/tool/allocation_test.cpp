// SPDX-License-Identifier: MIT
// The check of a data file allocates nothing: every buffer has a fixed size.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "check/check.hpp"
#include "tool/reader.hpp"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size)
{
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

TEST(Allocation, ReadingAndCheckingADataFileAllocatesNothing)
{
    std::string bytes = "HQDHWHARDWAREVERSION 1.0\r\n# comment\r\n";
    for (int i = 0; i < 2000; ++i) {
        bytes += "A content line number " + std::to_string(i) + std::string(i % 120, 'x') + "\r\n";
    }
    bytes += "G0123\r\nG4567\r\n";
    MemorySource memory{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0, 1000};
    static TextStream stream;
    static CheckContext context;

    const long before = allocations.load();
    text_stream_open(stream, read_from_memory, &memory);
    const bool read_to_end = check_stream(stream, context);
    const bool passed = check_passes(context);
    const long during = allocations.load() - before;

    EXPECT_TRUE(read_to_end);
    EXPECT_FALSE(passed);
    EXPECT_EQ(during, 0);
}

} // namespace
