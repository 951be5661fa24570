// Runs a program as a child process without a shell and reports what it
// cost: wall time, its own CPU time and its peak resident memory, taken from
// the kernel's account of the child rather than from sampling.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace refresh_bench {

struct ChildResult {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;  // -1 when the child was killed by a signal
    std::string out;    // standard output
    std::string err;    // standard error
    double wallSeconds = 0;
    double cpuSeconds = 0;  // user + system
    long peakRssKb = 0;
};

// Runs `argv` (argv[0] a path) with the caller's environment. Output goes to
// files in `scratchDir`, so a chatty child never blocks on a full pipe. A
// child still running at `timeout` is killed.
ChildResult RunChild(const std::vector<std::string>& argv, const std::string& scratchDir,
                     std::chrono::seconds timeout);

}  // namespace refresh_bench
