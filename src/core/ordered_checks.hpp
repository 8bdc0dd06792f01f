// SPDX-License-Identifier: MIT
// Checking many files on several threads, with their outcomes taken in the
// order the files were found: the threads take the files in order, a few at
// a time, and a bounded window holds the outcomes not yet taken, so that
// memory stays the same whatever the number of files.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/batch.hpp"
#include "core/findings.hpp"

// A file to check, named as given or as found. A file with a problem is not
// opened: it counts as one that cannot be read, and problem tells why.
struct FileToCheck {
    std::string name;
    std::string problem;
    // A file already open (standard input, say) read in place of opening
    // name, and left open; null for none.
    std::FILE* open_file = nullptr;
    // No file but an error of the source in its place among the files, which
    // problem tells, for the taker to report in order.
    bool source_error = false;
};

// Where the names of the files to check come from, one at a time; called by
// one thread at a time, which may wait in it (for a pipe, say) while the
// others check files and the taker takes outcomes.
class FileSource {
public:
    // The next file, or false when there is none left. May throw.
    virtual bool next(FileToCheck& file) = 0;

    // Whether next would give a file without waiting for input: else the
    // files taken so far are checked first. True unless the source knows.
    virtual bool next_at_hand()
    {
        return true;
    }

protected:
    ~FileSource() = default;
};

// A file's outcome, as the one who takes the outcomes gets it.
struct CheckedFile {
    FileToCheck file;
    bool done; // the outcome is there
    FileState state; // not_given for a file with a problem
    int error;
    Verdict verdict;
    std::unique_ptr<Findings> findings; // when the run keeps them
};

struct OrderedCheckOptions {
    unsigned jobs = 1; // threads, at least 1
    // Each file's findings, warnings included, kept for the taker.
    bool keep_findings = false;
    // Called on the checking thread before each file is checked; tests make
    // it throw.
    void (*before_check)(const std::string& name) = nullptr;
};

using CheckClock = std::chrono::steady_clock;

class OrderedChecks {
public:
    // Starts the threads: as many as asked, or as many as the system starts.
    OrderedChecks(FileSource& source, const OrderedCheckOptions& options);
    OrderedChecks(const OrderedChecks&) = delete;
    OrderedChecks& operator=(const OrderedChecks&) = delete;
    // No file is taken from then on; the threads are joined.
    ~OrderedChecks();

    std::size_t threads() const
    {
        return threads_.size();
    }

    // Waits until the outcome next in order is there, or until deadline, and
    // moves every one that is there, in order, to taken.
    void take_ready(std::vector<CheckedFile>& taken, CheckClock::time_point deadline);

    // Every file found has been taken, or the run failed.
    bool finished();

    // The count of files, once the source has ended; 0 before.
    std::size_t total();

    std::uint64_t bytes_read() const
    {
        return bytes_read_.load(std::memory_order_relaxed);
    }

    // What ended the run early (an exception of the source, the callback or
    // an allocation), or null.
    std::exception_ptr failure();

    void join();

private:
    void work(BatchChecker& checker) noexcept;
    void work_through(BatchChecker& checker);
    std::size_t take_files(FileToCheck* files, bool small_files, std::size_t& first);
    void stop();
    void fail(const std::exception_ptr& exception) noexcept;
    bool next_is_ready() const;
    bool all_taken() const;

    FileSource& source_;
    const OrderedCheckOptions options_;
    const std::size_t window_;
    std::mutex source_mutex_; // held while the source is asked, and only then
    std::mutex mutex_;
    std::condition_variable ready_; // the taker's: the next outcome is there
    std::condition_variable room_;  // the threads': a place in the window is free
    std::vector<CheckedFile> window_files_;
    std::size_t next_found_ = 0;
    std::size_t next_taken_ = 0;
    unsigned waiting_ = 0;
    bool source_ended_ = false;
    std::exception_ptr failure_;
    std::atomic<std::uint64_t> bytes_read_{0};
    std::vector<std::unique_ptr<BatchChecker>> checkers_;
    std::vector<std::thread> threads_;
};
