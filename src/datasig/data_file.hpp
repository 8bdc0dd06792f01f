// SPDX-License-Identifier: MIT
// A data file held in memory, read with the same reader and check as validate.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "check/check.hpp"
#include "crypto/sha512.hpp"
#include "tool/reader.hpp"

using Bytes = std::vector<unsigned char>;

// What validate's check finds in a file: the digest, the key prefix, the
// two signature lines expected and the two slots as read.
struct CheckResult {
    bool passed;
    unsigned char digest[kDigestSize];
    std::string key_prefix;
    std::string expected_first;
    std::string expected_second;
    SignatureSlots slots;
};

// A text stream over bytes in memory. The stream is large, so it lives on
// the heap; memory must outlive it.
std::unique_ptr<TextStream> open_memory_stream(MemorySource& memory, const Bytes& bytes);

// What a finished check found.
void collect_check(CheckContext& context, CheckResult& result);

// Reads the whole file and runs the check on it, printing nothing.
CheckResult check_bytes(const Bytes& file);

bool passes_check(const Bytes& file);
