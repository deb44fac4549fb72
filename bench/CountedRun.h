#pragma once
// Runs a command with its standard output into a pipe that is only counted:
// the time, the peak memory and the lines, for the benchmarks that time
// salvage-cli as a process. A command that fails ends the benchmark.

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

struct ChildRun {
    double seconds = 0;
    long peakKiB = 0;
    std::size_t lines = 0;
};

inline ChildRun RunCounted(const std::vector<std::string>& args)
{
    int fds[2];
    if (args.empty() || pipe(fds) != 0)
        std::exit(1);
    // A child's peak memory (ru_maxrss) counts what it shared with this
    // process when it was forked, before its exec: give back what this
    // process freed first, so that the peak is the command's own.
    malloc_trim(0);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    ChildRun r;
    char buffer[1 << 16];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;)
        r.lines += static_cast<std::size_t>(std::count(buffer, buffer + got, '\n'));
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peakKiB = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string command;
        for (const std::string& a : args)
            command += (command.empty() ? "" : " ") + a;
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return r;
}

} // namespace bench
