#include "download_token.h"

#include <charconv>
#include <string_view>

namespace torznab {
namespace {

constexpr char kCatalogueTag = 'c';
constexpr char kSiteTag = 's';
constexpr char kSeparator = '\t';
// Longer tokens are refused before decoding; addresses are far shorter.
constexpr size_t kMaxTokenLength = 8192;

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

std::string EncodeToken(const DownloadRef& ref) {
    std::string payload;
    if (const auto* row = std::get_if<CatalogueRowRef>(&ref)) {
        payload =
            kCatalogueTag + (kSeparator + row->table) + kSeparator + std::to_string(row->rowId);
    } else {
        const auto& site = std::get<SiteResultRef>(ref);
        payload = kSiteTag + (kSeparator + std::to_string(site.dllId)) + kSeparator + site.addr0;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string token;
    token.reserve(payload.size() * 2);
    for (const char c : payload) {
        const auto byte = static_cast<unsigned char>(c);
        token += kDigits[byte >> 4];
        token += kDigits[byte & 0x0F];
    }
    return token;
}

std::optional<DownloadRef> DecodeToken(const std::string& token) {
    if (token.empty() || token.size() % 2 != 0 || token.size() > kMaxTokenLength) {
        return std::nullopt;
    }
    std::string payload;
    payload.reserve(token.size() / 2);
    for (size_t i = 0; i < token.size(); i += 2) {
        const int high = HexValue(token[i]);
        const int low = HexValue(token[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        payload += static_cast<char>(high << 4 | low);
    }
    const size_t first = payload.find(kSeparator);
    const size_t second = first == std::string::npos ? first : payload.find(kSeparator, first + 1);
    if (first != 1 || second == std::string::npos) {
        return std::nullopt;
    }
    const std::string_view middle = std::string_view(payload).substr(2, second - 2);
    const std::string rest = payload.substr(second + 1);
    if (payload[0] == kCatalogueTag) {
        const std::optional<int64_t> rowId = ParseNumber<int64_t>(rest);
        if (middle.empty() || !rowId || *rowId <= 0) {
            return std::nullopt;
        }
        return CatalogueRowRef{std::string(middle), *rowId};
    }
    if (payload[0] == kSiteTag) {
        const std::optional<int> dllId = ParseNumber<int>(middle);
        if (!dllId || *dllId < 0 || rest.empty()) {
            return std::nullopt;
        }
        return SiteResultRef{*dllId, rest};
    }
    return std::nullopt;
}

}  // namespace torznab
