#include "option_rules.h"

#include <charconv>
#include <cstdint>
#include <optional>

#include "config_keys.h"

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The leading decimal number, optionally signed; nothing when the text does
// not start with one or the number does not fit in 64 bits.
std::optional<int64_t> LeadingNumber(std::string_view text) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

int DelayFromText(std::string_view text, int nOldDelay) {
    if (Trimmed(text).empty()) {
        return nOldDelay;
    }
    const std::optional<int64_t> value = LeadingNumber(text);
    if (!value || *value < config::kDataDelayTm.minValue ||
        *value > config::kDataDelayTm.maxValue) {
        return static_cast<int>(config::kDataDelayTm.defaultValue);
    }
    return static_cast<int>(*value);
}

int PortFromText(std::string_view text) {
    const std::optional<int64_t> value = LeadingNumber(text);
    if (!value || *value < config::kProxyPort.minValue || *value > config::kProxyPort.maxValue) {
        return 0;
    }
    return static_cast<int>(*value);
}

ProxyControls ProxyControlsFor(int nType, bool bAuthen) {
    constexpr int kSocks5 = 3;
    constexpr int kHttp = 4;
    ProxyControls controls;
    if (nType <= 0 || nType > kHttp) {
        return controls;
    }
    controls.bAddressEnabled = true;
    controls.bAuthenEnabled = nType >= kSocks5;
    controls.bAuthenChecked = controls.bAuthenEnabled && bAuthen;
    controls.bCredentialsEnabled = controls.bAuthenChecked;
    return controls;
}
