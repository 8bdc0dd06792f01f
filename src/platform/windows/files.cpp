#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/new_file.hpp"
#include "platform/platform.hpp"

namespace {

// Room for the longest path Windows takes, 32,767 UTF-16 units.
constexpr int kPathUnits = 32768;

HANDLE handle_of(const NewFile& file)
{
    return reinterpret_cast<HANDLE>(file.handle);
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
    struct _stat64 status {};
    if (_fstat64(_fileno(file), &status) != 0 || (status.st_mode & _S_IFMT) == _S_IFDIR) {
        std::fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

void write_text(const char* text, std::FILE* stream)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0) {
        std::fputs(text, stream);
        return;
    }
    // A console shows UTF-16 as the characters it is; UTF-8 bytes would show
    // in its code page.
    std::fflush(stream);
    std::size_t rest = std::strlen(text);
    while (rest > 0) {
        constexpr std::size_t kChunk = 1024;
        std::size_t n = rest < kChunk ? rest : kChunk;
        // Never split a character: a cut before a continuation byte moves back.
        while (n < rest && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
            --n;
        }
        wchar_t wide[kChunk];
        const int units = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(n), wide, kChunk);
        DWORD written = 0;
        WriteConsoleW(handle, wide, static_cast<DWORD>(units), &written, nullptr);
        text += n;
        rest -= n;
    }
}

void use_binary_output(std::FILE* stream)
{
    std::fflush(stream);
    _setmode(_fileno(stream), _O_BINARY);
}

bool create_file_beside(const std::filesystem::path& target, NewFile& file)
{
    static std::atomic<unsigned> attempts{0};
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(L".");
    for (int tries = 0; tries < 100; ++tries) {
        wchar_t suffix[40];
        std::swprintf(suffix, 40, L".datasig-%08lx%04x", GetCurrentProcessId(),
                      attempts.fetch_add(1) & 0xFFFFU);
        std::filesystem::path name = folder / (L"." + target.filename().wstring() + suffix);
        const HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file = NewFile{name, reinterpret_cast<std::intptr_t>(handle)};
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    return false;
}

// A new file takes the permissions its folder gives; a read-only target
// refuses to be replaced (see move_into_place).
bool copy_permissions(const NewFile& /*file*/, const std::filesystem::path* /*model*/)
{
    return true;
}

bool write_all(const NewFile& file, const unsigned char* bytes, std::size_t size)
{
    while (size > 0) {
        const DWORD chunk = size < 0x40000000U ? static_cast<DWORD>(size) : 0x40000000U;
        DWORD written = 0;
        if (WriteFile(handle_of(file), bytes, chunk, &written, nullptr) == 0) {
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

bool flush_to_disk(const NewFile& file)
{
    return FlushFileBuffers(handle_of(file)) != 0;
}

bool close_file(const NewFile& file)
{
    return CloseHandle(handle_of(file)) != 0;
}

// A read-only file is not replaced, as Windows itself refuses to; said
// here so that every implementation of the call behaves so.
bool move_into_place(const NewFile& file, const std::filesystem::path& target)
{
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return MoveFileExW(file.name.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// MOVEFILE_WRITE_THROUGH returns only once the move is on disk.
void sync_folder(const std::filesystem::path& /*folder*/) {}

void remove_file(const std::filesystem::path& name)
{
    DeleteFileW(name.c_str());
}

std::string last_system_error()
{
    const DWORD code = GetLastError();
    wchar_t wide[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, wide, 512, nullptr);
    while (n > 0 && (wide[n - 1] == L'\r' || wide[n - 1] == L'\n' || wide[n - 1] == L'.' ||
                     wide[n - 1] == L' ')) {
        --n;
    }
    if (n == 0) {
        return "error " + std::to_string(code);
    }
    char text[2048];
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n), text, sizeof text,
                                          nullptr, nullptr);
    return std::string(text, static_cast<std::size_t>(bytes));
}
