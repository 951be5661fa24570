// The checked form of an indexer API request (/api?t=...). Every parameter
// is validated before any work is queued: a request either parses into an
// ApiQuery or names the protocol error it answers with.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace torznab {

// The protocol's error codes.
enum ErrorCode : int {
    kBadCredentials = 100,
    kMissingParameter = 200,
    kIncorrectParameter = 201,
    kNoSuchFunction = 202,
    kNoSuchItem = 300,
    kUnknownError = 900,
};

struct ApiError {
    int code = kUnknownError;
    std::string description;

    friend bool operator==(const ApiError&, const ApiError&) = default;
};

enum class Function { kCaps, kSearch, kTvSearch, kMovieSearch };

inline constexpr int kDefaultLimit = 50;
inline constexpr int kMaxLimit = 100;
inline constexpr size_t kMaxKeywordBytes = 256;
// Paging deeper than this would make every leaf read that many rows.
inline constexpr int kMaxOffset = 10000;
inline constexpr size_t kMaxCategoryCount = 64;

struct ApiQuery {
    Function function = Function::kCaps;
    // Absent or blank: the newest rows.
    std::optional<std::string> keyword;
    std::vector<int> categories;  // empty: every leaf
    int limit = kDefaultLimit;
    int offset = 0;
    bool extended = false;  // ask the sites too

    friend bool operator==(const ApiQuery&, const ApiQuery&) = default;
};

// Query parameters, decoded, as the HTTP layer hands them over.
using Params = std::multimap<std::string, std::string>;

// Checks the key first (error 100), then that every value is UTF-8, then
// the function and its parameters.
std::variant<ApiQuery, ApiError> ParseApiRequest(const Params& params, std::string_view apiKey);

// Compares in time independent of where the texts differ.
bool KeyMatches(std::string_view given, std::string_view key);

// The first value of the parameter, if any.
std::optional<std::string> FirstValue(const Params& params, const std::string& name);

}  // namespace torznab
