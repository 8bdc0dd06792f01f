// SPDX-License-Identifier: MIT
// Checking files a few at a time: each read whole, one after another with
// one stream, as validate reads it; then their key schedules set up side by
// side, which takes less time than one after another; then their findings.
// The one way files are read for a check by every caller but validate.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "check/check.hpp"
#include "core/findings.hpp"
#include "core/text_stream.hpp"
#include "core/warnings.hpp"

// The most files checked together: as many as the key schedules set up side
// by side.
inline constexpr std::size_t kFilesTogether = kCipherSetupsTogether;

// What a thread checks files with: a stream, and a check context for each
// file it takes at a time, whose key schedule serves files in a row that
// share a key line.
struct BatchChecker {
    TextStream stream;
    CheckContext contexts[kFilesTogether];
    WarningCollector warnings;
};

enum class FileState : unsigned char {
    checked,     // read to its end: findings hold the check
    open_failed, // it could not be opened (missing, unreadable, a folder)
    read_failed, // it opened, but a read failed
    not_given,   // there was no name to open
};

struct FileOutcome {
    FileState state;
    int error; // the errno of a failed open or read, 0 when not known
    Findings findings;
};

struct BatchOptions {
    // The run's count of bytes read, added to as files are read; may be null.
    std::atomic<std::uint64_t>* bytes_read = nullptr;
    bool collect_warnings = false;
};

// Checks the count (up to kFilesTogether) files at paths, outcomes[i] for
// paths[i]; a null path is not opened and is not_given. open_files, when
// given, holds for each path a file already open to read in its place (and
// leave open), or null. Returns the count of their bytes read.
std::uint64_t check_batch(BatchChecker& checker, const char* const* paths, std::size_t count,
                          FileOutcome* outcomes, const BatchOptions& options,
                          std::FILE* const* open_files = nullptr);
