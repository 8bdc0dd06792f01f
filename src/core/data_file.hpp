// SPDX-License-Identifier: MIT
// A data file held in memory, read with the same reader and check as validate.
#pragma once

#include <memory>
#include <vector>

#include "core/findings.hpp"
#include "core/text_stream.hpp"

using Bytes = std::vector<unsigned char>;

// A text stream over bytes in memory. The stream is large, so it lives on
// the heap; memory must outlive it.
std::unique_ptr<TextStream> open_memory_stream(MemorySource& memory, const Bytes& bytes);

// Reads the whole file and runs the check on it, printing nothing. The
// findings hold no warnings: explain_bytes collects them.
Findings check_bytes(const Bytes& file);

bool passes_check(const Bytes& file);
