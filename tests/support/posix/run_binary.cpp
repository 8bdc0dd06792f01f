// SPDX-License-Identifier: MIT
#include "support/run_binary.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

// A cross build's programs run under the emulator that runs the tests.
#ifndef VALIDATE_TEST_EMULATOR
#define VALIDATE_TEST_EMULATOR ""
#endif

namespace test_support {

const int kStatusMinusOne = 255;
const bool kWindows = false;

namespace {

RunResult spawn(const std::vector<std::string>& command, const RunOptions& options)
{
    int out_pipe[2];
    int err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0) {
        return {"", "pipe failed", -1};
    }
    if (options.stderr_on_terminal) {
        if (openpty(&err_pipe[0], &err_pipe[1], nullptr, nullptr, nullptr) != 0) {
            return {"", "openpty failed", -1};
        }
        fcntl(err_pipe[0], F_SETFD, FD_CLOEXEC);
        fcntl(err_pipe[1], F_SETFD, FD_CLOEXEC);
    } else if (pipe2(err_pipe, O_CLOEXEC) != 0) {
        return {"", "pipe failed", -1};
    }
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        const std::string reason = std::strerror(errno);
        for (const int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
            close(fd);
        }
        return {"", "fork failed: " + reason, -1};
    }
    if (pid == 0) {
        if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) {
            _exit(126);
        }
        int out_fd = out_pipe[1];
        if (options.stderr_on_terminal && options.stdout_on_terminal) {
            out_fd = err_pipe[1];
        } else if (!options.stdout_path.empty()) {
            out_fd = open(options.stdout_path.c_str(), O_WRONLY);
            if (out_fd < 0) {
                _exit(126);
            }
        }
        if (options.max_open_files > 0) {
            const rlimit limit{static_cast<rlim_t>(options.max_open_files),
                               static_cast<rlim_t>(options.max_open_files)};
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
                _exit(126);
            }
        }
        if (!options.stdin_path.empty()) {
            const int in_fd = open(options.stdin_path.c_str(), O_RDONLY);
            if (in_fd < 0 || dup2(in_fd, STDIN_FILENO) < 0) {
                _exit(126);
            }
        }
        dup2(out_fd, STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        setenv("TEST_EMULATOR", VALIDATE_TEST_EMULATOR, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);

    RunResult result{"", "", -1};
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    for (int open_pipes = 2; open_pipes > 0;) {
        if (poll(fds, 2, -1) < 0) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && fds[i].revents != 0) {
                char chunk[4096];
                const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
                if (n > 0) {
                    sinks[i]->append(chunk, static_cast<std::size_t>(n));
                } else {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open_pipes;
                }
            }
        }
    }
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return result;
}

} // namespace

RunResult run_binary(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options)
{
    std::vector<std::string> command;
    std::istringstream emulator(VALIDATE_TEST_EMULATOR);
    for (std::string word; emulator >> word;) {
        command.push_back(word);
    }
    command.push_back(program);
    command.insert(command.end(), args.begin(), args.end());
    return spawn(command, options);
}

RunResult run_shell(const std::string& script, const std::vector<std::string>& args,
                    const RunOptions& options)
{
    std::vector<std::string> command{"/bin/sh", "-c", script};
    command.insert(command.end(), args.begin(), args.end());
    return spawn(command, options);
}

} // namespace test_support
