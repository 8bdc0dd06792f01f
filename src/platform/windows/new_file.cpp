// SPDX-License-Identifier: MIT
// Replacing a file on Windows: a new file beside it, flushed, moved over it.
#include <windows.h>

#include <atomic>
#include <cwchar>
#include <string>

#include "platform/new_file.hpp"

namespace {

HANDLE handle_of(const NewFile& file)
{
    return reinterpret_cast<HANDLE>(file.handle);
}

} // namespace

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
// MoveFileEx with MOVEFILE_WRITE_THROUGH has already made the rename durable.
bool sync_folder(const std::filesystem::path& /*folder*/)
{
    return true;
}

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
