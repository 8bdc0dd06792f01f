// SPDX-License-Identifier: MIT
// The files that datasig check's names stand for: a name that is no folder
// as itself; with -r, a folder's files and those of its sub-folders, found
// one at a time as the check goes on.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/ordered_checks.hpp"

// Each folder's entries are taken in the byte order of their names. A folder
// without recursive, and one that cannot be listed, is a file with a
// problem. Memory holds the listings of the folders on the way down, not the
// whole tree.
class FolderWalk final : public FileSource {
public:
    FolderWalk(const std::vector<std::string>& names, bool recursive)
        : names_(names), recursive_(recursive)
    {
    }

    bool next(FileToCheck& file) override;

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

    const std::vector<std::string>& names_;
    bool recursive_;
    std::size_t next_name_ = 0;
    std::vector<Folder> folders_;
};
