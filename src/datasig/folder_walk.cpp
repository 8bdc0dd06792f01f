// SPDX-License-Identifier: MIT
// Walking the folders named to datasig check, one file at a time.
#include "datasig/folder_walk.hpp"

#include <algorithm>
#include <system_error>

#include "datasig/files.hpp"

namespace fs = std::filesystem;

namespace {

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

} // namespace

bool FolderWalk::next(FileToCheck& file)
{
    for (;;) {
        if (!folders_.empty()) {
            Folder& folder = folders_.back();
            if (folder.next == folder.entries.size()) {
                folders_.pop_back();
                continue;
            }
            const Entry& entry = folder.entries[folder.next++];
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
        if (!given_.next(file)) {
            return false;
        }
        if (file.open_file != nullptr || !file.problem.empty()) {
            return true;
        }
        const std::string name = file.name;
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

// Lists a folder, its entries sorted, for next to take; false, with file its
// problem, when it cannot be listed.
bool FolderWalk::enter(const fs::path& path, FileToCheck& file)
{
    std::vector<Entry> entries;
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
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.file_name < b.file_name; });
    folders_.push_back({path, std::move(entries), 0});
    return true;
}

bool FolderWalk::next_at_hand()
{
    return !folders_.empty() || given_.next_at_hand();
}
