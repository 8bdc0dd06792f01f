#include "datasig/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string reason(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

bool write_all(int fd, const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
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

mode_t new_file_mode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Makes the rename itself durable; a folder that cannot be synced is no
// reason to report failure, the file is already in place.
void sync_folder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

bool read_whole_file(const std::string& name, Bytes& bytes, std::string& error)
{
    errno = 0;
    std::FILE* file = open_data_file(name.c_str());
    if (file == nullptr) {
        // The reader refuses a directory that the system opened without complaint.
        if (errno == 0) {
            errno = EISDIR;
        }
        error = reason("cannot open " + name);
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
    std::fclose(file);
    if (failed) {
        errno = read_errno;
        error = reason("cannot read " + name);
        return false;
    }
    return true;
}

bool replace_file(const std::string& target, const Bytes& bytes, std::string& error)
{
    std::string path = target;
    char resolved[PATH_MAX];
    struct stat status {};
    const bool exists = stat(target.c_str(), &status) == 0;
    if (exists) {
        if (!S_ISREG(status.st_mode)) {
            error = "cannot replace " + target + ": not a regular file";
            return false;
        }
        if (realpath(target.c_str(), resolved) == nullptr) {
            error = reason("cannot resolve " + target);
            return false;
        }
        path = resolved;
    }
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);

    std::string temporary = folder + "/." + base + ".datasig-XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = reason("cannot create a temporary file in " + folder);
        return false;
    }
    const mode_t mode = exists ? (status.st_mode & 07777) : new_file_mode();
    const char* step = nullptr;
    if (fchmod(fd, mode) != 0) {
        step = "cannot set the permissions of ";
    } else if (!write_all(fd, bytes)) {
        step = "cannot write ";
    } else if (fsync(fd) != 0) {
        step = "cannot flush ";
    }
    if (step != nullptr) {
        error = reason(step + temporary);
        close(fd);
        unlink(temporary.c_str());
        return false;
    }
    if (close(fd) != 0) {
        error = reason("cannot write " + temporary);
        unlink(temporary.c_str());
        return false;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        error = reason("cannot rename " + temporary + " to " + path);
        unlink(temporary.c_str());
        return false;
    }
    sync_folder(folder);
    return true;
}
