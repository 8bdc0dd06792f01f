// SPDX-License-Identifier: MIT
// The files that datasig check's names stand for: a name that is no folder
// as itself; with -r, a folder's files and those of its sub-folders, found
// one at a time as the check goes on.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/ordered_checks.hpp"

// The names come from given, one at a time; what is no name (an open file,
// a file with a problem, an error of the source) is passed on as it is.
// Each folder's entries are taken in the byte order of their names. A folder
// without recursive, and one that cannot be listed, is a file with a
// problem. Memory holds the listings of the folders on the way down, not the
// whole tree.
class FolderWalk final : public FileSource {
public:
    FolderWalk(FileSource& given, bool recursive) : given_(given), recursive_(recursive) {}

    bool next(FileToCheck& file) override;
    bool next_at_hand() override;

private:
    struct Entry {
        std::string file_name; // as names sort
        std::filesystem::path name;
        bool is_folder;
    };
    struct Folder {
        std::filesystem::path path;
        std::vector<Entry> entries;
        std::size_t next;
    };

    bool enter(const std::filesystem::path& path, FileToCheck& file);

    FileSource& given_;
    bool recursive_;
    std::vector<Folder> folders_;
};
