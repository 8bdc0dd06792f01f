// SPDX-License-Identifier: MIT
// Files on POSIX systems: opening, telling a folder, reading what a pipe
// has, console output.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.hpp"

std::FILE* open_file_for_reading(const char* name)
{
    return std::fopen(name, "rb");
}

int directory_error(std::FILE* file)
{
    struct stat status {};
    if (fstat(fileno(file), &status) != 0) {
        return errno;
    }
    return S_ISDIR(status.st_mode) ? EISDIR : 0;
}

void write_text(const char* text, std::FILE* stream)
{
    std::fputs(text, stream);
}

bool is_terminal(std::FILE* stream)
{
    return isatty(fileno(stream)) == 1;
}

void use_binary_output(std::FILE* /*stream*/) {}

void use_binary_input(std::FILE* /*stream*/) {}

std::ptrdiff_t read_available(std::FILE* file, unsigned char* buffer, std::size_t capacity)
{
    for (;;) {
        const ssize_t n = read(fileno(file), buffer, capacity);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}
