// Runs a program the way a script does and keeps what it wrote and how it ended.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace test_support {

struct RunResult {
    std::string out;
    std::string err;
    int status; // the exit status, or 128 + the signal that ended it
};

struct RunOptions {
    std::string directory;   // where it runs; empty for here
    std::string stdout_path; // a file to take its standard output; empty for a pipe
    int max_open_files = 0;  // a lower limit on open files; 0 keeps the current one
};

inline RunResult run_binary(const std::string& program, const std::vector<std::string>& args,
                            const RunOptions& options = {})
{
    int out_pipe[2];
    int err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
        return {"", "pipe failed", -1};
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) {
            _exit(126);
        }
        int out_fd = out_pipe[1];
        if (!options.stdout_path.empty()) {
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
        dup2(out_fd, STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        execv(program.c_str(), argv.data());
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

} // namespace test_support
