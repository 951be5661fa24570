#include "api_request.h"

#include <charconv>

#include "item_fields.h"

namespace torznab {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

std::optional<int> ParseCount(std::string_view text, int minimum, int maximum) {
    int value = 0;
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != text.npos) {
        return std::nullopt;
    }
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (value < minimum || value > maximum) {
        return std::nullopt;
    }
    return value;
}

ApiError Incorrect(const std::string& description) {
    return {kIncorrectParameter, description};
}

}  // namespace

std::optional<std::string> FirstValue(const Params& params, const std::string& name) {
    const auto it = params.lower_bound(name);
    if (it == params.end() || it->first != name) {
        return std::nullopt;
    }
    return it->second;
}

bool KeyMatches(std::string_view given, std::string_view key) {
    unsigned char difference = given.size() == key.size() ? 0 : 1;
    for (size_t i = 0; i < given.size(); ++i) {
        difference |=
            static_cast<unsigned char>(given[i] ^ key[i % (key.empty() ? 1 : key.size())]);
    }
    return difference == 0 && !key.empty();
}

std::variant<ApiQuery, ApiError> ParseApiRequest(const Params& params, std::string_view apiKey) {
    const std::optional<std::string> key = FirstValue(params, "apikey");
    if (!key || !KeyMatches(*key, apiKey)) {
        return ApiError{kBadCredentials, "Incorrect user credentials"};
    }
    for (const auto& [name, value] : params) {
        if (!IsValidUtf8(name) || !IsValidUtf8(value)) {
            return Incorrect("Parameters must be UTF-8");
        }
    }

    ApiQuery query;
    const std::optional<std::string> function = FirstValue(params, "t");
    if (!function || function->empty()) {
        return ApiError{kMissingParameter, "Missing parameter (t)"};
    }
    if (*function == "caps") {
        query.function = Function::kCaps;
        return query;
    }
    if (*function == "search") {
        query.function = Function::kSearch;
    } else if (*function == "tvsearch") {
        query.function = Function::kTvSearch;
    } else if (*function == "movie") {
        query.function = Function::kMovieSearch;
    } else {
        return ApiError{kNoSuchFunction, "No such function (" + *function + ")"};
    }

    if (const std::optional<std::string> q = FirstValue(params, "q")) {
        if (q->size() > kMaxKeywordBytes) {
            return Incorrect("Incorrect parameter (q is longer than " +
                             std::to_string(kMaxKeywordBytes) + " bytes)");
        }
        const size_t first = q->find_first_not_of(kBlanks);
        if (first != std::string::npos) {
            query.keyword = q->substr(first, q->find_last_not_of(kBlanks) - first + 1);
        }
    }
    if (const std::optional<std::string> limit = FirstValue(params, "limit");
        limit && !limit->empty()) {
        const std::optional<int> value = ParseCount(*limit, 1, kMaxLimit);
        if (!value) {
            return Incorrect("Incorrect parameter (limit must be 1 to " +
                             std::to_string(kMaxLimit) + ")");
        }
        query.limit = *value;
    }
    if (const std::optional<std::string> offset = FirstValue(params, "offset");
        offset && !offset->empty()) {
        const std::optional<int> value = ParseCount(*offset, 0, kMaxOffset);
        if (!value) {
            return Incorrect("Incorrect parameter (offset must be 0 to " +
                             std::to_string(kMaxOffset) + ")");
        }
        query.offset = *value;
    }
    if (const std::optional<std::string> cat = FirstValue(params, "cat"); cat && !cat->empty()) {
        size_t start = 0;
        for (;;) {
            const size_t comma = cat->find(',', start);
            const std::optional<int> value =
                ParseCount(std::string_view(*cat).substr(start, comma - start), 0, 999999999);
            if (!value || query.categories.size() == kMaxCategoryCount) {
                return Incorrect("Incorrect parameter (cat must be at most " +
                                 std::to_string(kMaxCategoryCount) +
                                 " numbers separated by commas)");
            }
            query.categories.push_back(*value);
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
    }
    if (const std::optional<std::string> extended = FirstValue(params, "extended");
        extended && !extended->empty()) {
        if (*extended != "0" && *extended != "1") {
            return Incorrect("Incorrect parameter (extended must be 0 or 1)");
        }
        query.extended = *extended == "1";
    }
    return query;
}

}  // namespace torznab
