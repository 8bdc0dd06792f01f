// SPDX-License-Identifier: MIT
#include "support/run_binary.hpp"

#include <windows.h>

namespace test_support {

const int kStatusMinusOne = -1;
const bool kWindows = true;

namespace {

std::wstring wide(const std::string& utf8)
{
    if (utf8.empty()) {
        return L"";
    }
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), n);
    return text;
}

// Quoted so that the program's C runtime splits the command line back into
// exactly this argument.
std::wstring quoted(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are literal unless a quote follows them.
        text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, L'\\');
    return text + L"\"";
}

// A file that takes one of the program's output streams and is gone once closed.
HANDLE capture_file()
{
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, folder);
    GetTempFileNameW(folder, L"run", 0, name);
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                       nullptr);
}

std::string read_back(HANDLE file)
{
    std::string bytes;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char chunk[4096];
    DWORD n = 0;
    while (ReadFile(file, chunk, sizeof chunk, &n, nullptr) != 0 && n > 0) {
        bytes.append(chunk, n);
    }
    CloseHandle(file);
    return bytes;
}

// Text written with CR LF line ends, with LF line ends; an LF that came
// without its CR is marked.
std::string from_text_mode(const std::string& text)
{
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            lines += "<LF without CR>";
        }
        lines += text[i];
    }
    return lines;
}

} // namespace

RunResult run_binary(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options)
{
    std::wstring command = quoted(wide(program));
    for (const std::string& arg : args) {
        command += L" " + quoted(wide(arg));
    }
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const std::wstring input_name = options.stdin_path.empty() ? L"NUL" : wide(options.stdin_path);
    const HANDLE input = CreateFileW(input_name.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING,
                                     0, nullptr);
    const HANDLE err = capture_file();
    const HANDLE out = options.stdout_path.empty()
                           ? capture_file()
                           : CreateFileW(wide(options.stdout_path).c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                         OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const std::wstring directory = wide(options.directory);
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        directory.empty() ? nullptr : directory.c_str(), &startup,
                                        &process);
    RunResult result{"", "", -1};
    if (started == 0) {
        result.err = "CreateProcessW failed with error " + std::to_string(GetLastError());
    } else {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.status = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(input);
    if (options.stdout_path.empty()) {
        result.out = read_back(out);
        if (!options.binary_output) {
            result.out = from_text_mode(result.out);
        }
    } else {
        CloseHandle(out);
    }
    result.err = from_text_mode(read_back(err)) + result.err;
    return result;
}

RunResult run_shell(const std::string& /*script*/, const std::vector<std::string>& /*args*/,
                    const RunOptions& /*options*/)
{
    return {"", "no POSIX shell on Windows", -1};
}

} // namespace test_support
