// SPDX-License-Identifier: MIT
// Windows passes the command line as UTF-16; the tools take UTF-8, so that a
// name outside the ANSI code page still names its file.
#include <windows.h>

#include <cstddef>

#include "platform/platform.hpp"

namespace {

// A command line holds at most 32,767 UTF-16 units, so at most as many
// arguments; a unit becomes at most three UTF-8 bytes, and each argument
// takes a NUL.
constexpr std::size_t kCommandLineUnits = 32768;
char utf8_text[4 * kCommandLineUnits];
const char* utf8_arguments[kCommandLineUnits + 1];

} // namespace

int wmain(int argc, wchar_t** argv)
{
    static char empty[] = "";
    std::size_t used = 0;
    int count = 0;
    for (; count < argc && static_cast<std::size_t>(count) < kCommandLineUnits; ++count) {
        const int room = static_cast<int>(sizeof utf8_text - used);
        const int n = WideCharToMultiByte(CP_UTF8, 0, argv[count], -1, utf8_text + used, room,
                                          nullptr, nullptr);
        // Only a command line longer than Windows allows leaves no room: its
        // later arguments become names no file has, never other names.
        utf8_arguments[count] = n > 0 ? utf8_text + used : empty;
        used += static_cast<std::size_t>(n);
    }
    utf8_arguments[count] = nullptr;
    return program_main(count, utf8_arguments);
}
