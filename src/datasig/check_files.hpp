// SPDX-License-Identifier: MIT
// Checking many data files in one run: each with the reader and the check
// that validate uses, several at a time, with one line per file in the
// order given.
#pragma once

#include <string>
#include <vector>

enum class CheckOutput {
    every_line, // a line for every file
    failures,   // only the lines that are not OK
    nothing,    // the exit status alone
};

// The most files checked at a time.
inline constexpr unsigned kMaxJobs = 256;

struct CheckOptions {
    bool recursive = false;
    // Lists of names to check after those given, in turn ("-" standard
    // input), one a line or with nul_separated each ended by a NUL.
    std::vector<std::string> lists;
    bool nul_separated = false;
    CheckOutput output = CheckOutput::every_line;
    // A JSON object for each file in place of its line (json_lines.hpp), with
    // its findings; the check keeps them only then.
    bool json = false;
    unsigned jobs = 0; // files checked at a time, up to kMaxJobs; 0 for one per core
    // Called on the checking thread before each file is checked; tests make
    // it throw.
    void (*before_check)(const std::string& name) = nullptr;
};

// A name as its line shows it. A name with a newline or a backslash is
// written as sha512sum writes it: the line begins with a backslash, and
// they become \n and \\. Where the backslash separates folders (Windows),
// it stays as it is.
std::string line_name(const std::string& name);

// Checks the files that names stand for, in their order, then those of the
// lists in theirs: "-" as standard input (of names only), a name that is no
// folder as itself; with recursive, a folder's files and those of its
// sub-folders, each folder's entries in the byte order of their names,
// checked while the walk goes on. A folder without recursive, and one that
// cannot be listed, is a file with a problem. Writes a line for each file
// on standard output and, when any is not OK, a summary on standard error;
// an error in a list goes to standard error in its place, and the check
// goes on. Returns 0 when every file passes, 1 when any fails or cannot be
// read, or when there is none to check, 2 when a list has an error or the
// run itself fails (it says why).
int check_files(const std::vector<std::string>& names, const CheckOptions& options);
