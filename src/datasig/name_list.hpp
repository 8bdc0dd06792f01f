// SPDX-License-Identifier: MIT
// The names datasig check is given: those on its command line, then those
// of each list that --files-from names, read a block at a time as the check
// goes on, so that memory does not grow with a list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/ordered_checks.hpp"

// The most bytes a name in a list may have: more than any system takes in a
// path, and a bound on what a line without an end costs.
inline constexpr std::size_t kMaxListedName = std::size_t{64} * 1024;

// A list of names, "-" for standard input: one a line, a CR before the LF
// removed (lists come from Windows too), or with nul_separated each ended
// by a NUL. The last name needs no end. Names are taken as they are: "-" in
// a list is a file of that name. An empty name, one longer than
// kMaxListedName, and (one a line) one that holds a NUL, are errors of the
// source, each in its place, and the list goes on; a list that cannot be
// opened or read is one too, and ends there.
class NameList {
public:
    NameList(std::string list, bool nul_separated);
    NameList(const NameList&) = delete;
    NameList& operator=(const NameList&) = delete;
    ~NameList();

    // The next name, or error of the source; false at the end of the list.
    bool next(FileToCheck& file);

    // Whether the next name (or the end) has been read, so that next gives
    // it without waiting for input.
    bool next_at_hand() const;

private:
    bool open(FileToCheck& file);
    bool read_name(std::string& name, bool& too_long, int& read_error);
    void close();
    void error(FileToCheck& file, const std::string& what) const;

    std::string list_;
    bool nul_separated_;
    std::FILE* file_ = nullptr;
    bool opened_ = false;
    bool ended_ = false;
    std::uint64_t names_read_ = 0;
    std::vector<unsigned char> block_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
};

// The names of the command line in their order, "-" standard input, then
// the names of each list in turn.
class GivenNames final : public FileSource {
public:
    GivenNames(const std::vector<std::string>& names, const std::vector<std::string>& lists,
               bool nul_separated)
        : names_(names), lists_(lists), nul_separated_(nul_separated)
    {
    }

    bool next(FileToCheck& file) override;
    bool next_at_hand() override;

private:
    const std::vector<std::string>& names_;
    const std::vector<std::string>& lists_;
    bool nul_separated_;
    std::size_t next_name_ = 0;
    std::size_t next_list_ = 0;
    std::unique_ptr<NameList> list_;
};

// A list's name as messages give it.
std::string shown_list_name(const std::string& list);
