// SPDX-License-Identifier: MIT
// datasig's command line: its commands and options, and sign and explain.
#include "datasig/command.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "datasig/check_files.hpp"
#include "core/explain.hpp"
#include "datasig/files.hpp"
#include "datasig/json_lines.hpp"
#include "core/sign.hpp"
#include "platform/platform.hpp"

#ifndef DATASIG_VERSION
#define DATASIG_VERSION "unknown"
#endif

namespace {

constexpr int kPassed = 0;
constexpr int kFailed = 1;
constexpr int kTrouble = 2;

constexpr char kUsage[] =
    "Usage: datasig sign [-o OUT] FILE\n"
    "       datasig sign -i FILE...\n"
    "       datasig explain [--json] FILE\n"
    "       datasig check [-r] [--quiet | --status] [--json] [--jobs N]\n"
    "                     [--files-from LIST [-0]] [FILE|FOLDER...]\n"
    "       datasig --help | --version\n";

constexpr char kHelp[] =
    "\n"
    "Signs data files, explains what validate sees in them, and checks many at once.\n"
    "\n"
    "  sign FILE       write FILE with correct signature lines to standard output:\n"
    "                  lines that begin with G are dropped and the two expected\n"
    "                  signature lines are added at the end of what is read\n"
    "    -o OUT        write to OUT instead\n"
    "    -i            sign each FILE in place, in turn: one that cannot be signed\n"
    "                  is named, and the others are still signed\n"
    "  explain FILE    report the pieces, the key line, the digest, the expected\n"
    "                  and found signature lines and what the signature does not\n"
    "                  protect, then the verdict validate prints\n"
    "    --json        write all that as one JSON object on one line instead\n"
    "  check FILE|FOLDER...\n"
    "                  check each file as validate does, several at a time, and\n"
    "                  print in the order given NAME: OK, NAME: FAILED, or\n"
    "                  NAME: FAILED open or read; then, when any is not OK, how\n"
    "                  many failed (and how many of those are unsigned) and how\n"
    "                  many could not be read\n"
    "    -r            check the files in each FOLDER and its sub-folders, each\n"
    "                  folder's in the byte order of their names\n"
    "    --quiet       print only the lines that are not OK\n"
    "    --status      print nothing: the exit status tells\n"
    "    --json        print a JSON object on one line for each file instead of\n"
    "                  its line (with --quiet, only for those that are not OK)\n"
    "    --jobs N      check N files at a time (by default, one per core)\n"
    "    --files-from LIST\n"
    "                  then check the files that LIST names, one a line (a CR\n"
    "                  before the line end is removed), as it is read\n"
    "    -0, --null    the names in LIST each end with a NUL, as find -print0\n"
    "                  writes them\n"
    "\n"
    "A FILE or LIST of - is standard input; a file named - is given as ./-.\n"
    "-o and -i write a new file beside the target and rename it over the target\n"
    "only once it is complete and on disk.\n"
    "\n"
    "Exit status: 0 done (explain: the file passes; check: every file passes),\n"
    "1 the file fails the check (explain), or a file fails or cannot be read\n"
    "(check), 2 a usage error, an I/O error, an error in a LIST, or a file that\n"
    "cannot be signed.\n";

void warn(const std::string& message)
{
    write_text(("datasig: " + message + "\n").c_str(), stderr);
}

int trouble(const std::string& message)
{
    warn(message);
    return kTrouble;
}

int usage_error(const std::string& message)
{
    warn(message + "\n" + kUsage + "Try 'datasig --help' for more.");
    return kTrouble;
}

// Standard output as a whole must have reached its destination.
int flush_standard_output(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        return trouble(std::string("cannot write standard output: ") + std::strerror(errno));
    }
    return status;
}

// Signs one file; replaced tells whether the target now holds it signed.
int sign(const char* name, const char* out_name, bool in_place, bool& replaced)
{
    replaced = false;
    Bytes file;
    std::string error;
    if (!read_whole_file(name, file, error)) {
        return trouble(error);
    }
    const SignResult result = sign_bytes(file);
    if (!result.signed_ok) {
        return trouble(std::string("cannot sign ") + name + ": " + result.problem +
                       "; nothing was written");
    }
    for (const std::size_t line : result.long_dropped_lines) {
        warn(std::string(name) + ": line " + std::to_string(line) +
             " begins with G and is longer than 79 characters: dropped whole, with any checked "
             "content past its 79th character");
    }
    if (in_place && result.output == file) {
        replaced = true;
        return kPassed;
    }
    if (in_place || out_name != nullptr) {
        const char* target = in_place ? name : out_name;
        std::string not_durable;
        if (!replace_file(target, result.output, error, not_durable)) {
            return trouble(error + "; " + target + " is left as it was");
        }
        replaced = true;
        if (!not_durable.empty()) {
            return trouble("warning: " + not_durable);
        }
        return kPassed;
    }
    // The signed bytes, CR LF line ends included, exactly as they are.
    use_binary_output(stdout);
    std::fwrite(result.output.data(), 1, result.output.size(), stdout);
    return flush_standard_output(kPassed);
}

// Signs each file in place in turn, whatever becomes of those before; with
// more than one, a summary when any could not be signed.
int sign_in_place(const std::vector<const char*>& names)
{
    int status = kPassed;
    std::size_t not_signed = 0;
    for (const char* name : names) {
        bool replaced = false;
        status = std::max(status, sign(name, nullptr, true, replaced));
        not_signed += replaced ? 0 : 1;
    }
    if (names.size() > 1 && not_signed > 0) {
        warn(std::to_string(not_signed) + " of " + std::to_string(names.size()) +
             " files could not be signed");
    }
    return status;
}

int explain(const char* name, bool json)
{
    Bytes file;
    std::string error;
    if (!read_whole_file(name, file, error)) {
        return trouble(error);
    }
    const Findings findings = explain_bytes(file);
    const bool passes = passed(findings);
    if (json) {
        write_text(json_line(name, findings).c_str(), stdout);
    } else {
        write_text(format_explanation(findings, name).c_str(), stdout);
        std::fputs(passes ? kPassedVerdict : kFailedVerdict, stdout);
    }
    return flush_standard_output(passes ? kPassed : kFailed);
}

int run_sign(int argc, const char* const* argv)
{
    const char* out_name = nullptr;
    bool in_place = false;
    std::vector<const char*> names;
    bool options_ended = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_ended && arg == "--") {
            options_ended = true;
        } else if (!options_ended && arg == "-i") {
            in_place = true;
        } else if (!options_ended && arg.rfind("-o", 0) == 0) {
            if (arg.size() > 2) {
                out_name = argv[i] + 2;
            } else if (i + 1 < argc) {
                out_name = argv[++i];
            } else {
                return usage_error("option -o needs a file name");
            }
        } else if (!options_ended && arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option " + arg);
        } else {
            names.push_back(argv[i]);
        }
    }
    if (names.empty()) {
        return usage_error("sign needs a file");
    }
    if (in_place && out_name != nullptr) {
        return usage_error("-o and -i cannot be used together");
    }
    if (!in_place) {
        if (names.size() > 1) {
            return usage_error("sign takes one file");
        }
        bool replaced = false;
        return sign(names.front(), out_name, false, replaced);
    }
    if (std::find(names.begin(), names.end(), std::string("-")) != names.end()) {
        return usage_error("-i cannot replace standard input");
    }
    return sign_in_place(names);
}

int run_explain(int argc, const char* const* argv)
{
    bool json = false;
    const char* name = nullptr;
    bool options_ended = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_ended && arg == "--") {
            options_ended = true;
        } else if (!options_ended && arg == "--json") {
            json = true;
        } else if (!options_ended && arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option " + arg);
        } else if (name == nullptr) {
            name = argv[i];
        } else {
            return usage_error("explain takes one file");
        }
    }
    if (name == nullptr) {
        return usage_error("explain takes one file");
    }
    return explain(name, json);
}

// The value of --jobs: a whole number from 1 to kMaxJobs, or 0 when it is none.
unsigned jobs_value(const std::string& text)
{
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    const auto value = static_cast<unsigned>(std::stoul(text));
    return value <= kMaxJobs ? value : 0;
}

// The value of an option, from --name=VALUE or the next argument; false
// when there is none.
bool option_value(const std::string& arg, std::size_t name_size, int argc,
                  const char* const* argv, int& i, std::string& value)
{
    if (arg.size() > name_size) {
        value = arg.substr(name_size + 1);
        return true;
    }
    if (i + 1 < argc) {
        value = argv[++i];
        return true;
    }
    return false;
}

// What is wrong with check's options, or "" when nothing is.
std::string check_usage_problem(const std::vector<std::string>& names,
                                const CheckOptions& options, bool quiet, bool status_only)
{
    if (names.empty() && options.lists.empty()) {
        return "check needs a file or a folder";
    }
    if (quiet && status_only) {
        return "--quiet and --status cannot be used together";
    }
    if (options.nul_separated && options.lists.empty()) {
        return "-0 and --null are for the names of --files-from";
    }
    const auto std_in = std::count(names.begin(), names.end(), "-") +
                        std::count(options.lists.begin(), options.lists.end(), "-");
    if (std_in > 1) {
        return "standard input (-) can be read only once";
    }
    return "";
}

int run_check(int argc, const char* const* argv)
{
    CheckOptions options;
    bool quiet = false;
    bool status_only = false;
    std::vector<std::string> names;
    bool options_ended = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            names.push_back(arg);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "-r") {
            options.recursive = true;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--status") {
            status_only = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "-0" || arg == "--null") {
            options.nul_separated = true;
        } else if (arg == "--jobs" || arg.rfind("--jobs=", 0) == 0) {
            option_value(arg, 6, argc, argv, i, value);
            options.jobs = jobs_value(value);
            if (options.jobs == 0) {
                return usage_error(std::string("--jobs needs a number from 1 to ") +
                                   std::to_string(kMaxJobs));
            }
        } else if (arg == "--files-from" || arg.rfind("--files-from=", 0) == 0) {
            if (!option_value(arg, 12, argc, argv, i, value) || value.empty()) {
                return usage_error("--files-from needs the name of a list");
            }
            options.lists.push_back(value);
        } else {
            return usage_error("unknown option " + arg);
        }
    }
    if (const std::string problem = check_usage_problem(names, options, quiet, status_only);
        !problem.empty()) {
        return usage_error(problem);
    }
    if (options.json && status_only) {
        return usage_error("--json and --status cannot be used together");
    }
    options.output = status_only ? CheckOutput::nothing
                     : quiet     ? CheckOutput::failures
                                 : CheckOutput::every_line;
    use_binary_input(stdin);
    return flush_standard_output(check_files(names, options));
}

} // namespace

int run_datasig(int argc, const char* const* argv)
{
    if (argc < 2) {
        return usage_error("no command given");
    }
    const std::string command = argv[1];
    try {
        if (command == "--help" || command == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return flush_standard_output(kPassed);
        }
        if (command == "--version") {
            std::fputs("datasig " DATASIG_VERSION "\n", stdout);
            return flush_standard_output(kPassed);
        }
        if (command == "sign") {
            return run_sign(argc, argv);
        }
        if (command == "explain") {
            return run_explain(argc, argv);
        }
        if (command == "check") {
            return run_check(argc, argv);
        }
    } catch (const std::bad_alloc&) {
        return trouble("out of memory");
    }
    return usage_error("unknown command " + command);
}
