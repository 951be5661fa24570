// Runs a program as a child process for end-to-end tests: arguments without
// a shell, optional standard input, stdout and stderr captured, and a
// deadline after which the child is killed.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct ProcessResult {
    int exitCode = -1;  // -1 when the child was killed or did not start
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::string input;  // written to the child's stdin, which then closes
    // Variables set (or, with an empty value, removed) for the child.
    std::vector<std::pair<std::string, std::string>> environment;
    std::chrono::milliseconds timeout{std::chrono::seconds(120)};
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// Splits text into lines without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace testing_support
