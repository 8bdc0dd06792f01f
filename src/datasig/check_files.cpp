// SPDX-License-Identifier: MIT
// datasig check: the files its names stand for checked on several threads,
// a line for each in their order, the progress line on a terminal, and the
// summary.
#include "datasig/check_files.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "core/ordered_checks.hpp"
#include "datasig/folder_walk.hpp"
#include "datasig/json_lines.hpp"
#include "datasig/name_list.hpp"
#include "datasig/progress_line.hpp"
#include "platform/platform.hpp"

namespace {

bool is_unreadable(const CheckedFile& checked)
{
    return checked.state != FileState::checked;
}

std::string reason(const CheckedFile& checked)
{
    if (!checked.file.problem.empty()) {
        return checked.file.problem;
    }
    std::string text = checked.state == FileState::read_failed ? "cannot read" : "cannot open";
    // Only the writer asks strerror, so its buffer is the writer's own.
    if (checked.error != 0) {
        text += std::string(": ") + std::strerror(checked.error);
    }
    return text;
}

// Whether a file's line is written: with every line, or with the lines that
// are not OK. The line of an unreadable file has its reason written beside
// it on standard error.
bool line_is_written(const CheckedFile& checked, CheckOutput output)
{
    return output == CheckOutput::every_line ||
           (output == CheckOutput::failures &&
            (is_unreadable(checked) || checked.verdict != Verdict::passed));
}

struct FileCounts {
    std::size_t files = 0;
    std::size_t failed = 0;
    std::size_t never_signed = 0; // of those failed
    std::size_t unreadable = 0;
    std::size_t list_errors = 0;
};

// The JSON line of a file: its findings, or why it could not be checked.
std::string json_line_of(const CheckedFile& checked)
{
    if (checked.findings) {
        return json_line(checked.file.name, *checked.findings);
    }
    if (!checked.file.problem.empty()) {
        return json_error_line(checked.file.name, "skipped", checked.file.problem);
    }
    const char* step = checked.state == FileState::read_failed ? "read" : "open";
    const char* message = checked.error != 0 ? std::strerror(checked.error) : "no reason given";
    return json_error_line(checked.file.name, step, message);
}

void write_lines(const std::vector<CheckedFile>& files, CheckOutput output, bool json,
                 FileCounts& counts)
{
    for (const CheckedFile& checked : files) {
        if (checked.file.source_error) {
            ++counts.list_errors;
            write_text(("datasig: " + checked.file.problem + "\n").c_str(), stderr);
            continue;
        }
        const bool unreadable = is_unreadable(checked);
        const bool failed = !unreadable && checked.verdict != Verdict::passed;
        ++counts.files;
        counts.failed += failed ? 1 : 0;
        counts.never_signed += failed && checked.verdict == Verdict::never_signed ? 1 : 0;
        counts.unreadable += unreadable ? 1 : 0;
        if (!line_is_written(checked, output)) {
            continue;
        }
        const char* word = failed ? "FAILED" : "OK";
        if (unreadable) {
            word = "FAILED open or read";
            std::string message = "datasig: ";
            message += line_name(checked.file.name) + ": " + reason(checked) + "\n";
            write_text(message.c_str(), stderr);
        }
        const std::string line =
            json ? json_line_of(checked) : line_name(checked.file.name) + ": " + word + "\n";
        write_text(line.c_str(), stdout);
    }
}

// Whether the lines of files write to standard output, and to standard error.
struct Writes {
    bool out;
    bool err;
};

Writes what_is_written(const std::vector<CheckedFile>& files, CheckOutput output)
{
    Writes writes{false, false};
    for (const CheckedFile& checked : files) {
        const bool written = !checked.file.source_error && line_is_written(checked, output);
        writes.out |= written;
        writes.err |= (written && is_unreadable(checked)) || checked.file.source_error;
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

// Writes each file's line, and each error of a list, as its outcome comes,
// in order; with flush_lines, each lot of lines goes out at once, for the
// reader of a pipeline whose writer of names is still at work.
void write_outcomes(OrderedChecks& checks, CheckOutput output, bool json, bool flush_lines,
                    FileCounts& counts)
{
    const bool silent = output == CheckOutput::nothing;
    ProgressLine progress(!silent && is_terminal(stderr));
    const bool output_on_terminal = !silent && is_terminal(stdout);
    std::size_t written = 0;
    std::vector<CheckedFile> files;
    while (!checks.finished()) {
        files.clear();
        checks.take_ready(files, CheckClock::now() + std::chrono::milliseconds(200));
        // Lines go where the progress line is not: it is erased before them
        // when they go to the same terminal, and drawn again after them.
        const Writes writes = what_is_written(files, output);
        const bool redraw = progress.shown() && ((writes.out && output_on_terminal) || writes.err);
        if (redraw) {
            progress.erase();
        }
        write_lines(files, output, json, counts);
        written += files.size();
        if (redraw || (flush_lines && writes.out)) {
            std::fflush(stdout);
        }
        progress.update(written, checks.total(), checks.bytes_read());
    }
    checks.join();
    progress.erase();
}

// How many failed (and how many of those are unsigned, when any is) and
// how many could not be read.
void write_summary(const FileCounts& counts)
{
    std::fflush(stdout);
    std::string summary = "datasig: ";
    summary += std::to_string(counts.failed) + " of " + std::to_string(counts.files);
    summary += counts.files == 1 ? " file" : " files";
    summary += " failed the check";
    if (counts.never_signed > 0) {
        summary += " (" + std::to_string(counts.never_signed) + " unsigned)";
    }
    summary += ", " + std::to_string(counts.unreadable) + " could not be read\n";
    write_text(summary.c_str(), stderr);
}

} // namespace

std::string line_name(const std::string& name)
{
    constexpr bool kBackslashSeparates = std::filesystem::path::preferred_separator == '\\';
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
    const bool count_known = !options.recursive && options.lists.empty();
    const auto most = static_cast<unsigned>(
        count_known ? std::min<std::size_t>(names.size(), kMaxJobs) : kMaxJobs);
    jobs = std::clamp(jobs, 1U, std::max(most, 1U));

    GivenNames given(names, options.lists, options.nul_separated);
    FolderWalk walk(given, options.recursive);
    OrderedCheckOptions run_options;
    run_options.jobs = jobs;
    run_options.before_check = options.before_check;
    run_options.keep_findings = options.json;
    OrderedChecks checks(walk, run_options);
    if (checks.threads() == 0 && !checks.failure()) {
        write_text("datasig: cannot start a thread\n", stderr);
        return 2;
    }
    FileCounts counts;
    write_outcomes(checks, options.output, options.json, !options.lists.empty(), counts);

    if (const std::exception_ptr failure = checks.failure()) {
        std::fflush(stdout);
        write_text(("datasig: the check stopped: " + failure_text(failure) + "\n").c_str(), stderr);
        return 2;
    }
    const int status = counts.list_errors > 0 ? 2 : 1;
    if (counts.files == 0) {
        if (!silent) {
            write_text("datasig: no file to check\n", stderr);
        }
        return status;
    }
    if (counts.failed == 0 && counts.unreadable == 0) {
        return counts.list_errors > 0 ? 2 : 0;
    }
    if (!silent) {
        write_summary(counts);
    }
    return status;
}
