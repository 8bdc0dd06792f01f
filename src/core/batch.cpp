// SPDX-License-Identifier: MIT
// Reading files for their check, and checking a few together.
#include "core/batch.hpp"

#include <cerrno>
#include <cstdio>

#include "core/reader.hpp"

namespace {

// Reads a file, counting its bytes and adding them to the run's total as it
// goes.
struct CountedFile {
    std::FILE* file;
    std::atomic<std::uint64_t>* bytes_read;
    std::uint64_t file_bytes;
};

std::ptrdiff_t read_counted(void* handle, unsigned char* buffer, std::size_t capacity)
{
    auto& counted = *static_cast<CountedFile*>(handle);
    const std::ptrdiff_t n = read_from_file(counted.file, buffer, capacity);
    if (n > 0) {
        counted.file_bytes += static_cast<std::uint64_t>(n);
        if (counted.bytes_read != nullptr) {
            counted.bytes_read->fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
        }
    }
    return n;
}

// Reads the file at path (or open_file, when not null) whole into context,
// as validate does, its warnings into the outcome's findings when they are
// collected, and adds its size to file_bytes. The outcome's findings but the warnings are left to be made
// once the key is set up.
void read_one(BatchChecker& checker, CheckContext& context, const char* path, std::FILE* open_file,
              const BatchOptions& options, FileOutcome& outcome, std::uint64_t& file_bytes)
{
    outcome.error = 0;
    if (path == nullptr) {
        outcome.state = FileState::not_given;
        return;
    }
    errno = 0;
    std::FILE* file = open_file != nullptr ? open_file : open_data_file(path);
    if (file == nullptr) {
        outcome.state = FileState::open_failed;
        outcome.error = errno;
        return;
    }
    CountedFile counted{file, options.bytes_read, 0};
    TextStream& stream = checker.stream;
    text_stream_open(stream, read_counted, &counted);
    if (options.collect_warnings) {
        checker.warnings.start();
        stream.observer = &checker.warnings;
    }
    const bool read_to_end = check_stream(stream, context);
    if (read_to_end && options.collect_warnings) {
        // What cannot be read past the 0x1A is left uncounted, as explain
        // leaves it: the verdict stands.
        text_stream_count_rest(stream);
    }
    const int read_error = errno;
    if (file != open_file) {
        std::fclose(file);
    }
    file_bytes += counted.file_bytes;
    if (!read_to_end) {
        outcome.state = FileState::read_failed;
        outcome.error = read_error;
        return;
    }
    outcome.state = FileState::checked;
    if (options.collect_warnings) {
        checker.warnings.finish(stream, context, outcome.findings);
    } else {
        outcome.findings.warning_count = 0;
        outcome.findings.warnings.clear();
    }
}

} // namespace

std::uint64_t check_batch(BatchChecker& checker, const char* const* paths, std::size_t count,
                          FileOutcome* outcomes, const BatchOptions& options,
                          std::FILE* const* open_files)
{
    CheckContext* read[kFilesTogether] = {};
    std::size_t read_count = 0;
    std::uint64_t file_bytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::FILE* open_file = open_files != nullptr ? open_files[i] : nullptr;
        read_one(checker, checker.contexts[i], paths[i], open_file, options, outcomes[i],
                 file_bytes);
        if (outcomes[i].state == FileState::checked) {
            read[read_count++] = &checker.contexts[i];
        }
    }
    prepare_key_schedules(read, read_count);
    for (std::size_t i = 0; i < count; ++i) {
        if (outcomes[i].state == FileState::checked) {
            collect_findings(checker.contexts[i], outcomes[i].findings);
        }
    }
    return file_bytes;
}
