#include "indexer_settings.h"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "config_keys.h"

namespace torznab {
namespace {

int64_t ReadInteger(const CIniFile& file, const config::KeyInfo& key) {
    const int64_t value = file.GetInt64(key.section, key.key, key.defaultValue);
    if (value >= key.minValue && value <= key.maxValue) {
        return value;
    }
    return key.outOfRange == config::OutOfRange::kClamp
               ? std::clamp(value, key.minValue, key.maxValue)
               : key.defaultValue;
}

bool IsUsableKey(const std::string& key) {
    return key.size() >= 16 && std::all_of(key.begin(), key.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
           });
}

}  // namespace

std::string MakeApiKey() {
    std::array<unsigned char, 16> bytes{};
    size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return {};
        }
        filled += static_cast<size_t>(got);
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string key;
    for (const unsigned char byte : bytes) {
        key += kDigits[byte >> 4];
        key += kDigits[byte & 0x0F];
    }
    return key;
}

bool LoadIndexerSettings(CIniFile& config, IndexerSettings& settings, std::string& error) {
    settings.siteSearchAlways = ReadInteger(config, config::kIndexerSiteSearch) != 0;
    settings.siteSearchTime =
        std::chrono::seconds(ReadInteger(config, config::kIndexerSiteSearchTime));
    settings.maxSiteSearches =
        static_cast<int>(ReadInteger(config, config::kIndexerMaxSiteSearches));
    settings.downloadTime = std::chrono::seconds(ReadInteger(config, config::kIndexerDownloadTime));

    const config::KeyInfo& keyInfo = config::kIndexerApiKey;
    config.GetString(keyInfo.section, keyInfo.key, settings.apiKey);
    // A key someone typed in is kept as long as it can travel in an address
    // unchanged and is not trivially short.
    if (IsUsableKey(settings.apiKey)) {
        return true;
    }
    settings.apiKey = MakeApiKey();
    if (settings.apiKey.empty()) {
        error = "the system's random generator gave no API key";
        return false;
    }
    if (!config.WriteString(keyInfo.section, keyInfo.key, settings.apiKey)) {
        error = "cannot write the API key to " + config.GetPath();
        return false;
    }
    return true;
}

}  // namespace torznab
