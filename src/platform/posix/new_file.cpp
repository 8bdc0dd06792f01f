// SPDX-License-Identifier: MIT
// Replacing a file on POSIX systems: a new file beside it, synced, renamed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/new_file.hpp"

bool create_file_beside(const std::filesystem::path& target, NewFile& file)
{
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::filesystem::path leaf = ".";
    leaf += target.filename();
    leaf += ".datasig-XXXXXX";
    std::string name = (folder / leaf).string();
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        return false;
    }
    file = NewFile{name, fd};
    return true;
}

bool copy_permissions(const NewFile& file, const std::filesystem::path* model)
{
    mode_t mode = 0;
    struct stat status {};
    if (model != nullptr && stat(model->c_str(), &status) == 0) {
        mode = status.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    return fchmod(static_cast<int>(file.handle), mode) == 0;
}

bool write_all(const NewFile& file, const unsigned char* bytes, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(static_cast<int>(file.handle), bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool flush_to_disk(const NewFile& file)
{
    return fsync(static_cast<int>(file.handle)) == 0;
}

bool close_file(const NewFile& file)
{
    return close(static_cast<int>(file.handle)) == 0;
}

bool move_into_place(const NewFile& file, const std::filesystem::path& target)
{
    return rename(file.name.c_str(), target.c_str()) == 0;
}

bool sync_folder(const std::filesystem::path& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // Some file systems (network and FUSE ones among them) take no fsync of a
    // folder: EINVAL and ENOTSUP say so, not that a write was lost.
    const bool synced = fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    const int fsync_error = errno;
    close(fd);
    errno = fsync_error;
    return synced;
}

void remove_file(const std::filesystem::path& name)
{
    unlink(name.c_str());
}

std::string last_system_error()
{
    return std::strerror(errno);
}
