// SPDX-License-Identifier: MIT
// The threads of a run of many files, the window of their outcomes, and the
// taking of those outcomes in order.
#include "core/ordered_checks.hpp"

#include <algorithm>
#include <system_error>

namespace {

// Outcomes kept for files not yet taken, per thread: a file that takes long
// holds the others back by at most this many.
constexpr std::size_t kWindowPerJob = 256;

// Files of this size or more are taken one at a time: a key set-up is then
// less than a tenth of the file's check, and a few large files are read side
// by side by the threads rather than in turn by one.
constexpr std::uint64_t kLargeFile = std::uint64_t{256} * 1024;

} // namespace

OrderedChecks::OrderedChecks(FileSource& source, const OrderedCheckOptions& options)
    : source_(source), options_(options), window_(kWindowPerJob * std::max(options.jobs, 1U)),
      window_files_(window_)
{
    // A checker for each thread: memory stays that of a few blocks per thread.
    for (unsigned k = 0; k < std::max(options.jobs, 1U); ++k) {
        checkers_.push_back(std::make_unique<BatchChecker>());
    }
    threads_.reserve(checkers_.size());
    for (const auto& checker : checkers_) {
        try {
            threads_.emplace_back([this, &checker = *checker] { work(checker); });
        } catch (const std::system_error&) {
            break;
        } catch (...) {
            fail(std::current_exception());
            break;
        }
    }
}

OrderedChecks::~OrderedChecks()
{
    stop();
    join();
}

void OrderedChecks::join()
{
    for (std::thread& thread : threads_) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

void OrderedChecks::take_ready(std::vector<CheckedFile>& taken, CheckClock::time_point deadline)
{
    std::unique_lock lock(mutex_);
    ready_.wait_until(lock, deadline, [this] { return next_is_ready() || all_taken(); });
    const std::size_t before = taken.size();
    while (next_is_ready()) {
        CheckedFile& place = window_files_[next_taken_ % window_];
        taken.push_back(std::move(place));
        place = CheckedFile{};
        ++next_taken_;
    }
    if (taken.size() > before && waiting_ > 0) {
        room_.notify_all();
    }
}

bool OrderedChecks::finished()
{
    const std::lock_guard lock(mutex_);
    return all_taken();
}

std::size_t OrderedChecks::total()
{
    const std::lock_guard lock(mutex_);
    return source_ended_ ? next_found_ : 0;
}

std::exception_ptr OrderedChecks::failure()
{
    const std::lock_guard lock(mutex_);
    return failure_;
}

void OrderedChecks::stop()
{
    const std::lock_guard lock(mutex_);
    source_ended_ = true;
    room_.notify_all();
}

void OrderedChecks::fail(const std::exception_ptr& exception) noexcept
{
    const std::lock_guard lock(mutex_);
    if (!failure_) {
        failure_ = exception;
    }
    source_ended_ = true;
    room_.notify_all();
    ready_.notify_all();
}

// Any exception ends the run rather than the process: it is kept for the
// taker to report.
void OrderedChecks::work(BatchChecker& checker) noexcept
{
    try {
        work_through(checker);
    } catch (...) {
        fail(std::current_exception());
    }
}

// Takes as many files as are free to take, up to kFilesTogether when they
// are small and the source has them at hand, else one, once the window has
// room; first is the number of the first. 0 once the source has ended.
std::size_t OrderedChecks::take_files(FileToCheck* files, bool small_files, std::size_t& first)
{
    // One thread at a time asks the source, without the window's lock: a
    // source that waits for input holds back no outcome already there.
    const std::lock_guard source_lock(source_mutex_);
    std::size_t room = 0;
    {
        std::unique_lock lock(mutex_);
        ++waiting_;
        room_.wait(lock, [this] { return source_ended_ || next_found_ < next_taken_ + window_; });
        --waiting_;
        if (source_ended_) {
            ready_.notify_all();
            return 0;
        }
        // Only this thread adds files, so the room can only grow meanwhile.
        first = next_found_;
        room = next_taken_ + window_ - next_found_;
    }
    const std::size_t most = std::min<std::size_t>(room, small_files ? kFilesTogether : 1);
    std::size_t count = 0;
    bool ended = false;
    while (count < most && (count == 0 || source_.next_at_hand())) {
        if (!source_.next(files[count])) {
            ended = true;
            break;
        }
        ++count;
    }
    const std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < count; ++i) {
        window_files_[(first + i) % window_].file = files[i];
    }
    next_found_ += count;
    source_ended_ = source_ended_ || ended;
    if (count == 0) {
        ready_.notify_all();
    }
    return count;
}

void OrderedChecks::work_through(BatchChecker& checker)
{
    FileToCheck files[kFilesTogether];
    FileOutcome outcomes[kFilesTogether];
    const char* paths[kFilesTogether];
    std::FILE* open_files[kFilesTogether];
    const BatchOptions batch_options{&bytes_read_, options_.keep_findings};
    // Whether the files this thread took last were small, as the next are
    // likely to be; not known at first.
    bool small_files = false;
    for (;;) {
        std::size_t first = 0;
        const std::size_t count = take_files(files, small_files, first);
        if (count == 0) {
            return;
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (options_.before_check != nullptr) {
                options_.before_check(files[i].name);
            }
            paths[i] = files[i].problem.empty() ? files[i].name.c_str() : nullptr;
            open_files[i] = files[i].open_file;
        }
        const std::uint64_t file_bytes =
            check_batch(checker, paths, count, outcomes, batch_options, open_files);
        small_files = file_bytes < count * kLargeFile;
        std::unique_ptr<Findings> kept[kFilesTogether];
        for (std::size_t i = 0; i < count && options_.keep_findings; ++i) {
            if (outcomes[i].state == FileState::checked) {
                kept[i] = std::make_unique<Findings>(std::move(outcomes[i].findings));
            }
        }
        const std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < count; ++i) {
            CheckedFile& place = window_files_[(first + i) % window_];
            place.done = true;
            place.state = outcomes[i].state;
            place.error = outcomes[i].error;
            place.verdict = outcomes[i].state == FileState::checked ? outcomes[i].findings.verdict
                                                                    : Verdict::altered;
            place.findings = std::move(kept[i]);
        }
        // The taker is woken to take outcomes by the hundred rather than one
        // by one, which would cost two thread switches a file: once half the
        // window waits, or when the source has ended. It wakes by itself too,
        // as its deadline says.
        if (next_is_ready() && (next_found_ - next_taken_ >= window_ / 2 || source_ended_)) {
            ready_.notify_one();
        }
    }
}

bool OrderedChecks::next_is_ready() const
{
    return next_taken_ < next_found_ && window_files_[next_taken_ % window_].done;
}

bool OrderedChecks::all_taken() const
{
    return failure_ || (source_ended_ && next_taken_ == next_found_);
}
