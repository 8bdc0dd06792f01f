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
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

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
    std::string file_name;
    fs::path path;
    bool is_folder;
};

void walk(const fs::path& folder, std::vector<FileToCheck>& files)
{
    std::vector<FolderEntry> entries;
    std::error_code code;
    for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
        std::error_code ignored;
        const bool is_folder = it->is_directory(ignored) && !it->is_symlink(ignored);
        if (is_folder || is_file_to_check(*it)) {
            entries.push_back({name_of(it->path().filename()), it->path(), is_folder});
        }
    }
    if (code) {
        files.push_back(
            {name_of(folder), std::string("cannot list the folder: ") + code.message()});
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.file_name < b.file_name; });
    for (const FolderEntry& entry : entries) {
        if (entry.is_folder) {
            walk(entry.path, files);
        } else {
            files.push_back({name_of(entry.path), ""});
        }
    }
}

// ---- Checking one file

enum class Verdict : unsigned char { pending, passed, failed, unreadable };

struct Outcome {
    Verdict verdict;
    bool at_open; // for an unreadable file: it did not open, rather than a read failed
    int error;    // the errno of the failure, 0 when not known
};

// Reads a file, adding the count of bytes read to a total as it goes.
struct CountedFile {
    std::FILE* file;
    std::atomic<std::uint64_t>* bytes_read;
};

std::ptrdiff_t read_counted(void* handle, unsigned char* buffer, std::size_t capacity)
{
    const auto& counted = *static_cast<CountedFile*>(handle);
    const std::ptrdiff_t n = read_from_file(counted.file, buffer, capacity);
    if (n > 0) {
        counted.bytes_read->fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
    }
    return n;
}

// What a thread checks its files with: its own stream and check context,
// whose key schedule serves files in a row that share a key line.
struct FileChecker {
    TextStream stream;
    CheckContext context;
};

// The check of one file, whole, as validate runs it.
Outcome check_one(const FileToCheck& file, FileChecker& checker,
                  std::atomic<std::uint64_t>& bytes_read)
{
    TextStream& stream = checker.stream;
    if (!file.problem.empty()) {
        return {Verdict::unreadable, true, 0};
    }
    errno = 0;
    std::FILE* handle = open_data_file(file.name.c_str());
    if (handle == nullptr) {
        return {Verdict::unreadable, true, errno};
    }
    CountedFile counted{handle, &bytes_read};
    text_stream_open(stream, read_counted, &counted);
    const bool read_to_end = check_stream(stream, checker.context);
    const int read_error = errno;
    std::fclose(handle);
    if (!read_to_end) {
        return {Verdict::unreadable, false, read_error};
    }
    return {check_passes(checker.context) ? Verdict::passed : Verdict::failed, false, 0};
}

// ---- The run

using Clock = std::chrono::steady_clock;

// Outcomes kept for lines not yet written, per thread: a file that takes
// long holds the others back by at most this many.
constexpr std::size_t kWindowPerJob = 256;

// The threads take the files in order, each the next not yet taken, and
// put each outcome in the slot of its file's number modulo the window. The
// writer takes the outcomes in order, and a thread takes a file only when
// its slot is free: memory stays the same whatever the number of files.
class Run {
public:
    Run(const std::vector<FileToCheck>& files, unsigned jobs)
        : files_(files), window_(kWindowPerJob * jobs),
          slots_(window_, Outcome{Verdict::pending, false, 0})
    {
    }

    void work(FileChecker& checker)
    {
        for (;;) {
            std::size_t index = 0;
            {
                std::unique_lock lock(mutex_);
                ++waiting_;
                room_.wait(lock, [this] {
                    return next_taken_ == files_.size() || next_taken_ < next_written_ + window_;
                });
                --waiting_;
                if (next_taken_ == files_.size()) {
                    return;
                }
                index = next_taken_++;
            }
            const Outcome outcome = check_one(files_[index], checker, bytes_read_);
            const std::lock_guard lock(mutex_);
            slots_[index % window_] = outcome;
            // The writer is woken to write lines by the hundred rather than
            // one by one, which would cost two thread switches a file: once
            // half the window waits, or when no file is left to take. It
            // wakes by itself too, five times a second.
            if (next_is_ready() &&
                (next_taken_ - next_written_ >= window_ / 2 || next_taken_ == files_.size())) {
                ready_.notify_one();
            }
        }
    }

    // Waits until the outcome next in order is there, or until deadline, and
    // moves every one that is there, in order, to taken.
    void take_ready(std::vector<Outcome>& taken, Clock::time_point deadline)
    {
        std::unique_lock lock(mutex_);
        ready_.wait_until(lock, deadline, [this] { return next_is_ready(); });
        while (next_is_ready()) {
            Outcome& slot = slots_[next_written_ % window_];
            taken.push_back(slot);
            slot.verdict = Verdict::pending;
            ++next_written_;
        }
        if (!taken.empty() && waiting_ > 0) {
            room_.notify_all();
        }
    }

    std::uint64_t bytes_read() const
    {
        return bytes_read_.load(std::memory_order_relaxed);
    }

    // No file is taken from now on.
    void stop()
    {
        const std::lock_guard lock(mutex_);
        next_taken_ = files_.size();
        room_.notify_all();
    }

private:
    bool next_is_ready() const
    {
        return next_written_ < files_.size() &&
               slots_[next_written_ % window_].verdict != Verdict::pending;
    }

    const std::vector<FileToCheck>& files_;
    const std::size_t window_;
    std::mutex mutex_;
    std::condition_variable ready_; // the writer's: the next outcome is there
    std::condition_variable room_;  // the threads': a slot is free
    std::vector<Outcome> slots_;
    std::size_t next_taken_ = 0;
    std::size_t next_written_ = 0;
    unsigned waiting_ = 0;
    std::atomic<std::uint64_t> bytes_read_{0};
};

// The threads of a run, joined however the run ends: when the writer stops
// early, they take no further file.
class Threads {
public:
    // A thread for each checker, or as many as the system starts.
    Threads(Run& run, const std::vector<std::unique_ptr<FileChecker>>& checkers) : run_(run)
    {
        for (const auto& checker : checkers) {
            try {
                threads_.emplace_back([this, &checker = *checker] { run_.work(checker); });
            } catch (const std::system_error&) {
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
        text += std::to_string(done) + " of " + std::to_string(total) + " files, ";
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

// Writes the lines of outcomes, which are those of files from first on.
void write_lines(const std::vector<FileToCheck>& files, std::size_t first,
                 const std::vector<Outcome>& outcomes, CheckOutput output, Counts& counts)
{
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const FileToCheck& file = files[first + i];
        const Outcome& outcome = outcomes[i];
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

Writes what_is_written(const std::vector<Outcome>& outcomes, CheckOutput output)
{
    Writes writes{false, false};
    for (const Outcome& outcome : outcomes) {
        const bool written = line_is_written(outcome, output);
        writes.out |= written;
        writes.err |= written && outcome.verdict == Verdict::unreadable;
    }
    return writes;
}

} // namespace

std::vector<FileToCheck> files_to_check(const std::vector<std::string>& names, bool recursive)
{
    std::vector<FileToCheck> files;
    for (const std::string& name : names) {
        std::error_code ignored;
        const fs::path path = path_of(name);
        if (!fs::is_directory(fs::status(path, ignored))) {
            files.push_back({name, ""});
        } else if (recursive) {
            walk(path, files);
        } else {
            files.push_back({name, "is a folder; -r checks the files in it"});
        }
    }
    return files;
}

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

int check_files(const std::vector<FileToCheck>& files, const CheckOptions& options)
{
    const bool silent = options.output == CheckOutput::nothing;
    if (files.empty()) {
        if (!silent) {
            write_text("datasig: no file to check\n", stderr);
        }
        return 1;
    }
    unsigned jobs = options.jobs != 0 ? options.jobs : std::thread::hardware_concurrency();
    const auto most = static_cast<unsigned>(std::min<std::size_t>(files.size(), kMaxJobs));
    jobs = std::clamp(jobs, 1U, most);

    Run run(files, jobs);
    // A checker for each thread: memory stays that of a few blocks per thread.
    std::vector<std::unique_ptr<FileChecker>> checkers;
    for (unsigned k = 0; k < jobs; ++k) {
        checkers.push_back(std::make_unique<FileChecker>());
    }
    Threads threads(run, checkers);
    if (threads.count() == 0) {
        write_text("datasig: cannot start a thread\n", stderr);
        return 2;
    }

    ProgressLine progress(!silent && is_terminal(stderr));
    const bool output_on_terminal = !silent && is_terminal(stdout);
    Counts counts;
    std::vector<Outcome> outcomes;
    outcomes.reserve(kWindowPerJob * jobs);
    for (std::size_t written = 0; written < files.size();) {
        outcomes.clear();
        run.take_ready(outcomes, Clock::now() + std::chrono::milliseconds(200));
        // Lines go where the progress line is not: it is erased before them
        // when they go to the same terminal, and drawn again after them.
        const Writes writes = what_is_written(outcomes, options.output);
        const bool redraw = progress.shown() && ((writes.out && output_on_terminal) || writes.err);
        if (redraw) {
            progress.erase();
        }
        write_lines(files, written, outcomes, options.output, counts);
        written += outcomes.size();
        if (redraw) {
            std::fflush(stdout);
        }
        progress.update(written, files.size(), run.bytes_read());
    }
    threads.join();
    progress.erase();

    if (counts.failed == 0 && counts.unreadable == 0) {
        return 0;
    }
    if (!silent) {
        std::fflush(stdout);
        std::string summary = "datasig: ";
        summary += std::to_string(counts.failed) + " of " + std::to_string(files.size());
        summary += files.size() == 1 ? " file" : " files";
        summary += " failed the check, ";
        summary += std::to_string(counts.unreadable) + " could not be read\n";
        write_text(summary.c_str(), stderr);
    }
    return 1;
}
