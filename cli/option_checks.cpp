#include "option_checks.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "cli_context.h"

namespace cli {
namespace {

// The whole text is one decimal integer: no sign but '-', no blanks, no
// fraction.
bool ParseWhole(const std::string& text, int64_t& value) {
    const char* end = text.data() + text.size();
    auto [stop, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && stop == end;
}

// The check's own message comes after CLI11's "<option>: "; with the colon
// dropped the line reads "--limit wants ...".
constexpr char kWants[] = "wants ";

CLI::Validator WholeNumberIn(int64_t min, int64_t max, std::string wanted) {
    return CLI::Validator(
        [=](std::string& text) {
            int64_t value = 0;
            return ParseWhole(text, value) && value >= min && value <= max ? std::string()
                                                                           : kWants + wanted;
        },
        wanted);
}

}  // namespace

CLI::Validator WholeNumber(int64_t min) {
    return WholeNumberIn(min, std::numeric_limits<int64_t>::max(),
                         "a whole number, " + std::to_string(min) + " or more");
}

CLI::Validator WholeNumber(int64_t min, int64_t max) {
    return WholeNumberIn(
        min, max, "a whole number from " + std::to_string(min) + " to " + std::to_string(max));
}

CLI::Validator Number(const std::string& min, const std::string& max, const std::string& unit) {
    const double low = std::strtod(min.c_str(), nullptr);
    const double high = std::strtod(max.c_str(), nullptr);
    const std::string wanted = "a number of " + unit + " from " + min + " to " + max;
    return CLI::Validator(
        [=](std::string& text) {
            double value = 0;
            const char* end = text.data() + text.size();
            auto [stop, ec] = std::from_chars(text.data(), end, value);
            const bool ok =
                !text.empty() && ec == std::errc() && stop == end && value >= low && value <= high;
            return ok ? std::string() : kWants + wanted;
        },
        wanted);
}

int ReportParseError(const CLI::App& app, const CLI::ParseError& error) {
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
        return app.exit(error);
    }
    std::string message = error.what();
    const std::string wants = std::string(": ") + kWants;
    if (auto at = message.find(wants); at != std::string::npos) {
        message.erase(at, 1);
    }
    std::fprintf(stderr, "tessaro-cli: %s (see --help)\n", message.c_str());
    return kExitUsage;
}

}  // namespace cli
