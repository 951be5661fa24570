// Checks of tessaro-cli's option values that answer in words, and the one
// line a parse error prints.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

namespace cli {

// A whole number from `min` to `max` ("--limit wants a whole number from 1
// to 1000000"); without a max, any whole number from `min` up.
CLI::Validator WholeNumber(int64_t min);
CLI::Validator WholeNumber(int64_t min, int64_t max);
// A decimal number of `unit` from `min` to `max`, both written as given.
CLI::Validator Number(const std::string& min, const std::string& max, const std::string& unit);

// Prints the error as one line on stderr and answers the exit status: 0
// after --help, else kExitUsage.
int ReportParseError(const CLI::App& app, const CLI::ParseError& error);

}  // namespace cli
