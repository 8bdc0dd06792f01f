// SPDX-License-Identifier: MIT
#include "datasig/check_files.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "datasig/files.hpp"
#include "platform/platform.hpp"
#include "tool/reader.hpp"

namespace {

namespace fs = std::filesystem;

// ---- The files

// Whether a walk takes an entry as a file to check: files, and links that
// name a file or nothing (which then cannot be opened). A link to a folder
// is not followed, so that no walk goes round in a loop; pipes, sockets and
// devices are left out.
bool is_file_to_check(const fs::directory_entry& entry)
{
    // The entry knows its own type from the listing: only a link costs a look.
    std::error_code ignored;
    if (!entry.is_symlink(ignored)) {
        return !entry.is_directory(ignored) && !entry.is_other(ignored);
    }
    const fs::file_status target = entry.status(ignored);
    return !fs::exists(target) || (!fs::is_directory(target) && !fs::is_other(target));
}

struct FolderEntry {
    std::string file_name; // as names sort
    fs::path name;
    bool is_folder;
};

// The files that names stand for, found one at a time: memory holds the
// listings of the folders on the way down, not the whole tree.
class FileWalk {
public:
    FileWalk(const std::vector<std::string>& names, bool recursive)
        : names_(names), recursive_(recursive)
    {
    }

    // The next file, or false when there is none left.
    bool next(FileToCheck& file)
    {
        for (;;) {
            if (!folders_.empty()) {
                Folder& folder = folders_.back();
                if (folder.next == folder.entries.size()) {
                    folders_.pop_back();
                    continue;
                }
                const FolderEntry& entry = folder.entries[folder.next++];
                const fs::path path = folder.path / entry.name;
                if (!entry.is_folder) {
                    file = {name_of(path), ""};
                    return true;
                }
                if (!enter(path, file)) {
                    return true;
                }
                continue;
            }
            if (next_name_ == names_.size()) {
                return false;
            }
            const std::string& name = names_[next_name_++];
            std::error_code ignored;
            const fs::path path = path_of(name);
            if (!fs::is_directory(fs::status(path, ignored))) {
                file = {name, ""};
                return true;
            }
            if (!recursive_) {
                file = {name, "is a folder; -r checks the files in it"};
                return true;
            }
            if (!enter(path, file)) {
                return true;
            }
        }
    }

private:
    struct Folder {
        fs::path path;
        std::vector<FolderEntry> entries;
        std::size_t next;
    };

    // Lists a folder, its entries sorted, for next to take; false, with
    // file its problem, when it cannot be listed.
    bool enter(const fs::path& path, FileToCheck& file)
    {
        std::vector<FolderEntry> entries;
        std::error_code code;
        for (fs::directory_iterator it(path, code), end; !code && it != end; it.increment(code)) {
            std::error_code ignored;
            const bool is_folder = it->is_directory(ignored) && !it->is_symlink(ignored);
            if (is_folder || is_file_to_check(*it)) {
                const fs::path name = it->path().filename();
                entries.push_back({name_of(name), name, is_folder});
            }
        }
        if (code) {
            file = {name_of(path), std::string("cannot list the folder: ") + code.message()};
            return false;
        }
        std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
            return a.file_name < b.file_name;
        });
        folders_.push_back({path, std::move(entries), 0});
        return true;
    }

    const std::vector<std::string>& names_;
    bool recursive_;
    std::size_t next_name_ = 0;
    std::vector<Folder> folders_;
};

// ---- Checking one file

enum class Verdict : unsigned char { pending, passed, failed, unreadable };

struct Outcome {
    Verdict verdict;
    bool at_open; // for an unreadable file: it did not open, rather than a read failed
    int error;    // the errno of the failure, 0 when not known
};

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
        counted.bytes_read->fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
    }
    return n;
}

// Files a thread takes at a time when they are small: their key schedules
// are set up side by side.
constexpr std::size_t kFilesTogether = kCipherSetupsTogether;

// Files of this size or more are taken one at a time: a key set-up is then
// less than a tenth of the file's check, and a few large files are read side
// by side by the threads rather than in turn by one.
constexpr std::uint64_t kLargeFile = std::uint64_t{256} * 1024;

// What a thread checks its files with: a stream, and a check context for
// each file it takes at a time, whose key schedule serves files in a row
// that share a key line.
struct FileChecker {
    TextStream stream;
    CheckContext contexts[kFilesTogether];
};

// Reads a file whole into context, as validate does, adding its size to
// file_bytes; its outcome is pending when the file was read, to be decided
// once the key is set up.
Outcome read_one(const FileToCheck& file, TextStream& stream, CheckContext& context,
                 std::atomic<std::uint64_t>& bytes_read, std::uint64_t& file_bytes)
{
    if (!file.problem.empty()) {
        return {Verdict::unreadable, true, 0};
    }
    errno = 0;
    std::FILE* handle = open_data_file(file.name.c_str());
    if (handle == nullptr) {
        return {Verdict::unreadable, true, errno};
    }
    CountedFile counted{handle, &bytes_read, 0};
    text_stream_open(stream, read_counted, &counted);
    const bool read_to_end = check_stream(stream, context);
    const int read_error = errno;
    std::fclose(handle);
    file_bytes += counted.file_bytes;
    if (!read_to_end) {
        return {Verdict::unreadable, false, read_error};
    }
    return {Verdict::pending, false, 0};
}

// The checks of up to kFilesTogether files; returns the count of their
// bytes read.
std::uint64_t check_together(const FileToCheck* files, std::size_t count, FileChecker& checker,
                             Outcome* outcomes, std::atomic<std::uint64_t>& bytes_read)
{
    CheckContext* read[kFilesTogether];
    std::size_t read_count = 0;
    std::uint64_t file_bytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        outcomes[i] = read_one(files[i], checker.stream, checker.contexts[i], bytes_read, file_bytes);
        if (outcomes[i].verdict == Verdict::pending) {
            read[read_count++] = &checker.contexts[i];
        }
    }
    prepare_key_schedules(read, read_count);
    for (std::size_t i = 0; i < count; ++i) {
        if (outcomes[i].verdict == Verdict::pending) {
            outcomes[i].verdict = check_passes(checker.contexts[i]) ? Verdict::passed : Verdict::failed;
        }
    }
    return file_bytes;
}

// ---- The run

using Clock = std::chrono::steady_clock;

// Outcomes kept for lines not yet written, per thread: a file that takes
// long holds the others back by at most this many.
constexpr std::size_t kWindowPerJob = 256;

struct Slot {
    FileToCheck file;
    Outcome outcome;
};

// The threads take the files in order, each the next the walk finds, and put
// each outcome in the slot of its file's number modulo the window. The
// writer takes the outcomes in order, and a thread takes a file only when its
// slot is free: memory stays the same whatever the number of files.
class Run {
public:
    Run(FileWalk& walk, unsigned jobs, const CheckOptions& options)
        : walk_(walk), options_(options), window_(kWindowPerJob * jobs), slots_(window_)
    {
    }

    // Any exception ends the run rather than the process: it is kept for the
    // writer to report.
    void work(FileChecker& checker) noexcept
    {
        try {
            work_through(checker);
        } catch (...) {
            fail(std::current_exception());
        }
    }

    // Waits until the outcome next in order is there, or until deadline, and
    // moves every one that is there, in order, to taken.
    void take_ready(std::vector<Slot>& taken, Clock::time_point deadline)
    {
        std::unique_lock lock(mutex_);
        ready_.wait_until(lock, deadline, [this] { return next_is_ready() || finished(); });
        while (next_is_ready()) {
            Slot& slot = slots_[next_written_ % window_];
            taken.push_back(std::move(slot));
            slot = Slot{FileToCheck{}, Outcome{Verdict::pending, false, 0}};
            ++next_written_;
        }
        if (!taken.empty() && waiting_ > 0) {
            room_.notify_all();
        }
    }

    // Every file found has been taken by the writer, or the run failed.
    bool finished_run()
    {
        const std::lock_guard lock(mutex_);
        return finished();
    }

    // The count of files, once the walk has ended; 0 before.
    std::size_t total()
    {
        const std::lock_guard lock(mutex_);
        return walk_ended_ ? next_taken_ : 0;
    }

    std::uint64_t bytes_read() const
    {
        return bytes_read_.load(std::memory_order_relaxed);
    }

    // No file is taken from now on.
    void stop()
    {
        const std::lock_guard lock(mutex_);
        walk_ended_ = true;
        room_.notify_all();
    }

    void fail(const std::exception_ptr& exception) noexcept
    {
        const std::lock_guard lock(mutex_);
        if (!failure_) {
            failure_ = exception;
        }
        walk_ended_ = true;
        room_.notify_all();
        ready_.notify_all();
    }

    std::exception_ptr failure()
    {
        const std::lock_guard lock(mutex_);
        return failure_;
    }

private:
    void work_through(FileChecker& checker)
    {
        FileToCheck files[kFilesTogether];
        Outcome outcomes[kFilesTogether];
        // Whether the files this thread took last were small, as the next
        // are likely to be; not known at first.
        bool small_files = false;
        for (;;) {
            std::size_t first = 0;
            std::size_t count = 0;
            {
                std::unique_lock lock(mutex_);
                ++waiting_;
                room_.wait(lock,
                           [this] { return walk_ended_ || next_taken_ < next_written_ + window_; });
                --waiting_;
                // As many files as are free to take, up to kFilesTogether
                // when they are small, else one.
                first = next_taken_;
                const std::size_t most = small_files ? kFilesTogether : 1;
                while (count < most && !walk_ended_ &&
                       next_taken_ < next_written_ + window_) {
                    if (!walk_.next(files[count])) {
                        walk_ended_ = true;
                        break;
                    }
                    slots_[next_taken_ % window_].file = files[count];
                    ++next_taken_;
                    ++count;
                }
                if (count == 0) {
                    ready_.notify_all();
                    return;
                }
            }
            if (options_.before_check != nullptr) {
                for (std::size_t i = 0; i < count; ++i) {
                    options_.before_check(files[i].name);
                }
            }
            const std::uint64_t file_bytes =
                check_together(files, count, checker, outcomes, bytes_read_);
            small_files = file_bytes < count * kLargeFile;
            const std::lock_guard lock(mutex_);
            for (std::size_t i = 0; i < count; ++i) {
                slots_[(first + i) % window_].outcome = outcomes[i];
            }
            // The writer is woken to write lines by the hundred rather than
            // one by one, which would cost two thread switches a file: once
            // half the window waits, or when the walk has ended. It wakes by
            // itself too, five times a second.
            if (next_is_ready() && (next_taken_ - next_written_ >= window_ / 2 || walk_ended_)) {
                ready_.notify_one();
            }
        }
    }

    bool next_is_ready() const
    {
        return next_written_ < next_taken_ &&
               slots_[next_written_ % window_].outcome.verdict != Verdict::pending;
    }

    bool finished() const
    {
        return failure_ || (walk_ended_ && next_written_ == next_taken_);
    }

    FileWalk& walk_;
    const CheckOptions& options_;
    const std::size_t window_;
    std::mutex mutex_;
    std::condition_variable ready_; // the writer's: the next outcome is there
    std::condition_variable room_;  // the threads': a slot is free
    std::vector<Slot> slots_;
    std::size_t next_taken_ = 0;
    std::size_t next_written_ = 0;
    unsigned waiting_ = 0;
    bool walk_ended_ = false;
    std::exception_ptr failure_;
    std::atomic<std::uint64_t> bytes_read_{0};
};

// The threads of a run, joined however the run ends: when the writer stops
// early, they take no further file.
class Threads {
public:
    // A thread for each checker, or as many as the system starts.
    Threads(Run& run, const std::vector<std::unique_ptr<FileChecker>>& checkers) : run_(run)
    {
        threads_.reserve(checkers.size());
        for (const auto& checker : checkers) {
            try {
                threads_.emplace_back([this, &checker = *checker] { run_.work(checker); });
            } catch (const std::system_error&) {
                break;
            } catch (...) {
                run_.fail(std::current_exception());
                break;
            }
        }
    }
    Threads(const Threads&) = delete;
    Threads& operator=(const Threads&) = delete;
    ~Threads()
    {
        run_.stop();
        join();
    }

    std::size_t count() const
    {
        return threads_.size();
    }

    void join()
    {
        for (std::thread& thread : threads_) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }

private:
    Run& run_;
    std::vector<std::thread> threads_;
};

// How far a long run has gone, on one line of standard error that is
// written over: only where a person watches (a terminal), and only once the
// run has taken a second.
class ProgressLine {
public:
    explicit ProgressLine(bool wanted) : wanted_(wanted), start_(Clock::now()) {}

    bool shown() const
    {
        return shown_ > 0;
    }

    // Drawn again at most five times a second, and at once after erase.
    // total is 0 while the walk still looks for files.
    void update(std::size_t done, std::size_t total, std::uint64_t bytes)
    {
        const Clock::time_point time = Clock::now();
        if (!wanted_ || time - start_ < std::chrono::seconds(1) ||
            (shown() && time - drawn_ < std::chrono::milliseconds(200))) {
            return;
        }
        const double seconds = std::chrono::duration<double>(time - start_).count();
        const auto tenths = static_cast<std::uint64_t>(static_cast<double>(bytes) * 10.0 / seconds /
                                                       (1024.0 * 1024.0));
        // Texts are appended one by one: a literal before a temporary string
        // sets off a false -Wrestrict in GCC 12.
        std::string text = "\rchecked ";
        text += std::to_string(done);
        text += total == 0 ? " files, " : " of " + std::to_string(total) + " files, ";
        text += std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MiB/s";
        const std::size_t text_length = text.size() - 1;
        // Spaces over what is left of a longer line before.
        text.append(shown_ > text_length ? shown_ - text_length : 0, ' ');
        write_text(text.c_str(), stderr);
        shown_ = std::max(shown_, text_length);
        drawn_ = time;
    }

    void erase()
    {
        if (shown()) {
            std::string spaces(shown_ + 2, ' ');
            spaces.front() = '\r';
            spaces.back() = '\r';
            write_text(spaces.c_str(), stderr);
            shown_ = 0;
        }
    }

private:
    bool wanted_;
    Clock::time_point start_;
    Clock::time_point drawn_;
    std::size_t shown_ = 0; // characters of the line on the terminal
};

std::string reason(const FileToCheck& file, const Outcome& outcome)
{
    if (!file.problem.empty()) {
        return file.problem;
    }
    std::string text = outcome.at_open ? "cannot open" : "cannot read";
    // Only the writer asks strerror, so its buffer is the writer's own.
    if (outcome.error != 0) {
        text += std::string(": ") + std::strerror(outcome.error);
    }
    return text;
}

// Whether an outcome's line is written: with every line, or with the lines
// that are not OK. The line of an unreadable file has its reason written
// beside it on standard error.
bool line_is_written(const Outcome& outcome, CheckOutput output)
{
    return output == CheckOutput::every_line ||
           (output == CheckOutput::failures && outcome.verdict != Verdict::passed);
}

struct Counts {
    std::size_t failed = 0;
    std::size_t unreadable = 0;
};

// Writes the lines of outcomes.
void write_lines(const std::vector<Slot>& outcomes, CheckOutput output, Counts& counts)
{
    for (const Slot& slot : outcomes) {
        const FileToCheck& file = slot.file;
        const Outcome& outcome = slot.outcome;
        counts.failed += outcome.verdict == Verdict::failed ? 1 : 0;
        counts.unreadable += outcome.verdict == Verdict::unreadable ? 1 : 0;
        if (!line_is_written(outcome, output)) {
            continue;
        }
        const char* word = "OK";
        if (outcome.verdict == Verdict::failed) {
            word = "FAILED";
        } else if (outcome.verdict == Verdict::unreadable) {
            word = "FAILED open or read";
            std::string message = "datasig: ";
            message += line_name(file.name) + ": " + reason(file, outcome) + "\n";
            write_text(message.c_str(), stderr);
        }
        write_text((line_name(file.name) + ": " + word + "\n").c_str(), stdout);
    }
}

// Whether the lines of outcomes write to standard output, and to standard error.
struct Writes {
    bool out;
    bool err;
};

Writes what_is_written(const std::vector<Slot>& outcomes, CheckOutput output)
{
    Writes writes{false, false};
    for (const Slot& slot : outcomes) {
        const bool written = line_is_written(slot.outcome, output);
        writes.out |= written;
        writes.err |= written && slot.outcome.verdict == Verdict::unreadable;
    }
    return writes;
}

std::string failure_text(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& exception) {
        return exception.what();
    } catch (...) {
        return "an unknown error";
    }
}

} // namespace

std::string line_name(const std::string& name)
{
    constexpr bool kBackslashSeparates = fs::path::preferred_separator == '\\';
    const bool escaped = name.find('\n') != std::string::npos ||
                         (!kBackslashSeparates && name.find('\\') != std::string::npos);
    if (!escaped) {
        return name;
    }
    std::string text = "\\";
    for (const char c : name) {
        if (c == '\n') {
            text += "\\n";
        } else if (c == '\\' && !kBackslashSeparates) {
            text += "\\\\";
        } else {
            text += c;
        }
    }
    return text;
}

int check_files(const std::vector<std::string>& names, const CheckOptions& options)
{
    const bool silent = options.output == CheckOutput::nothing;
    unsigned jobs = options.jobs != 0 ? options.jobs : std::thread::hardware_concurrency();
    const auto most = static_cast<unsigned>(
        options.recursive ? kMaxJobs : std::min<std::size_t>(names.size(), kMaxJobs));
    jobs = std::clamp(jobs, 1U, std::max(most, 1U));

    FileWalk walk(names, options.recursive);
    Run run(walk, jobs, options);
    // A checker for each thread: memory stays that of a few blocks per thread.
    std::vector<std::unique_ptr<FileChecker>> checkers;
    for (unsigned k = 0; k < jobs; ++k) {
        checkers.push_back(std::make_unique<FileChecker>());
    }
    Threads threads(run, checkers);
    if (threads.count() == 0 && !run.failure()) {
        write_text("datasig: cannot start a thread\n", stderr);
        return 2;
    }

    ProgressLine progress(!silent && is_terminal(stderr));
    const bool output_on_terminal = !silent && is_terminal(stdout);
    Counts counts;
    std::size_t written = 0;
    std::vector<Slot> outcomes;
    outcomes.reserve(kWindowPerJob * jobs);
    while (!run.finished_run()) {
        outcomes.clear();
        run.take_ready(outcomes, Clock::now() + std::chrono::milliseconds(200));
        // Lines go where the progress line is not: it is erased before them
        // when they go to the same terminal, and drawn again after them.
        const Writes writes = what_is_written(outcomes, options.output);
        const bool redraw = progress.shown() && ((writes.out && output_on_terminal) || writes.err);
        if (redraw) {
            progress.erase();
        }
        write_lines(outcomes, options.output, counts);
        written += outcomes.size();
        if (redraw) {
            std::fflush(stdout);
        }
        progress.update(written, run.total(), run.bytes_read());
    }
    threads.join();
    progress.erase();

    if (const std::exception_ptr failure = run.failure()) {
        std::fflush(stdout);
        write_text(("datasig: the check stopped: " + failure_text(failure) + "\n").c_str(), stderr);
        return 2;
    }
    if (written == 0) {
        if (!silent) {
            write_text("datasig: no file to check\n", stderr);
        }
        return 1;
    }
    if (counts.failed == 0 && counts.unreadable == 0) {
        return 0;
    }
    if (!silent) {
        std::fflush(stdout);
        std::string summary = "datasig: ";
        summary += std::to_string(counts.failed) + " of " + std::to_string(written);
        summary += written == 1 ? " file" : " files";
        summary += " failed the check, ";
        summary += std::to_string(counts.unreadable) + " could not be read\n";
        write_text(summary.c_str(), stderr);
    }
    return 1;
}
