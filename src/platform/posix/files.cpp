#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.hpp"

std::FILE* open_file_for_reading(const char* name)
{
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
        return nullptr;
    }
    struct stat status {};
    const bool stated = fstat(fileno(file), &status) == 0;
    if (!stated || S_ISDIR(status.st_mode)) {
        const int reason = stated ? EISDIR : errno;
        std::fclose(file);
        errno = reason;
        return nullptr;
    }
    return file;
}

void write_text(const char* text, std::FILE* stream)
{
    std::fputs(text, stream);
}

void use_binary_output(std::FILE* /*stream*/) {}
