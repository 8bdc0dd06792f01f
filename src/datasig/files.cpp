// SPDX-License-Identifier: MIT
// File names as paths, reading a whole file, and replacing a file safely.
#include "datasig/files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/new_file.hpp"
#include "platform/platform.hpp"

namespace fs = std::filesystem;

fs::path path_of(const std::string& name)
{
    return fs::path(std::u8string(name.begin(), name.end()));
}

std::string name_of(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool read_whole_file(const std::string& name, Bytes& bytes, std::string& error)
{
    const bool standard_input = name == "-";
    if (standard_input) {
        use_binary_input(stdin);
    }
    errno = 0;
    std::FILE* file = standard_input ? stdin : open_data_file(name.c_str());
    if (file == nullptr) {
        error = "cannot open " + name + ": " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    unsigned char block[64 * 1024];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0) {
        bytes.insert(bytes.end(), block, block + n);
    }
    const bool failed = std::ferror(file) != 0;
    const int read_errno = errno;
    if (!standard_input) {
        std::fclose(file);
    }
    if (failed) {
        error = "cannot read " + (standard_input ? std::string("standard input") : name) + ": " +
                std::strerror(read_errno);
        return false;
    }
    return true;
}

bool replace_file(const std::string& target, const Bytes& bytes, std::string& error,
                  std::string& not_durable)
{
    fs::path path = path_of(target);
    std::error_code code;
    const fs::file_status status = fs::status(path, code);
    const bool exists = fs::exists(status);
    if (exists) {
        if (!fs::is_regular_file(status)) {
            error = "cannot replace " + target + ": not a regular file";
            return false;
        }
        // A symbolic link stays, and the file it names is replaced.
        path = fs::canonical(path, code);
        if (code) {
            error = "cannot resolve " + target + ": " + code.message();
            return false;
        }
    }

    NewFile file{};
    if (!create_file_beside(path, file)) {
        const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
        error = "cannot create a temporary file in " + name_of(folder) + ": " + last_system_error();
        return false;
    }
    const char* step = nullptr;
    if (!copy_permissions(file, exists ? &path : nullptr)) {
        step = "cannot set the permissions of ";
    } else if (!write_all(file, bytes.data(), bytes.size())) {
        step = "cannot write ";
    } else if (!flush_to_disk(file)) {
        step = "cannot flush ";
    }
    if (step != nullptr) {
        error = step + name_of(file.name) + ": " + last_system_error();
        close_file(file);
        remove_file(file.name);
        return false;
    }
    if (!close_file(file)) {
        error = "cannot write " + name_of(file.name) + ": " + last_system_error();
        remove_file(file.name);
        return false;
    }
    if (!move_into_place(file, path)) {
        error = "cannot rename " + name_of(file.name) + " to " + name_of(path) + ": " +
                last_system_error();
        remove_file(file.name);
        return false;
    }
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!sync_folder(folder)) {
        not_durable = "replaced " + name_of(path) + ", but cannot sync its folder " +
                      name_of(folder) + ": " + last_system_error() +
                      "; the replacement may not survive a crash";
    }
    return true;
}
