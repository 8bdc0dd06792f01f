// SPDX-License-Identifier: MIT
// Files on Windows: names as UTF-16, opening, telling a folder, reading what
// a pipe has, binary streams, the console.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/platform.hpp"
#include "platform/utf8_pieces.hpp"

namespace {

// Room for the longest path Windows takes, 32,767 UTF-16 units.
constexpr int kPathUnits = 32768;

// The console stream writes to, or null when it writes elsewhere: only a
// console has a console mode (_isatty also takes the NUL device for one).
HANDLE console_of(std::FILE* stream)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0 ? handle : nullptr;
}

} // namespace

std::FILE* open_file_for_reading(const char* name)
{
    // Each thread converts into its own buffer; nothing is allocated.
    thread_local wchar_t wide[kPathUnits];
    if (MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, kPathUnits) == 0) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    std::FILE* file = _wfopen(wide, L"rb");
    if (file == nullptr) {
        const DWORD attributes = GetFileAttributesW(wide);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            errno = EISDIR;
        }
        return nullptr;
    }
    return file;
}

int directory_error(std::FILE* file)
{
    // 64-bit sizes: the default fstat fails on files over 2 GiB.
    struct _stat64 status {};
    if (_fstat64(_fileno(file), &status) != 0) {
        return errno;
    }
    return (status.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : 0;
}

void write_text(const char* text, std::FILE* stream)
{
    const HANDLE console = console_of(stream);
    if (console == nullptr) {
        std::fputs(text, stream);
        return;
    }
    // A console shows UTF-16 as the characters it is; UTF-8 bytes would show
    // in its code page.
    std::fflush(stream);
    std::size_t rest = std::strlen(text);
    while (rest > 0) {
        constexpr std::size_t kChunk = 1024;
        const std::size_t n = utf8_piece_size(text, rest, kChunk);
        wchar_t wide[kChunk];
        const int units = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(n), wide, kChunk);
        for (DWORD done = 0; done < static_cast<DWORD>(units);) {
            DWORD written = 0;
            if (WriteConsoleW(console, wide + done, static_cast<DWORD>(units) - done, &written,
                              nullptr) == 0 ||
                written == 0) {
                // The stream's own write, failing likewise, leaves the failure
                // in its error state, where callers look for it.
                std::fputs(text, stream);
                std::fflush(stream);
                return;
            }
            done += written;
        }
        text += n;
        rest -= n;
    }
}

bool is_terminal(std::FILE* stream)
{
    return console_of(stream) != nullptr;
}

void use_binary_output(std::FILE* stream)
{
    std::fflush(stream);
    _setmode(_fileno(stream), _O_BINARY);
}

void use_binary_input(std::FILE* stream)
{
    _setmode(_fileno(stream), _O_BINARY);
}

std::ptrdiff_t read_available(std::FILE* file, unsigned char* buffer, std::size_t capacity)
{
    // _read returns what a pipe has, as read does on POSIX.
    constexpr std::size_t kMostAtOnce = std::size_t{1} << 30;
    const int n = _read(_fileno(file), buffer, static_cast<unsigned>(std::min(capacity, kMostAtOnce)));
    return n;
}
