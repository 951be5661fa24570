// The indexer's settings in global.ini, and its API key, made from the
// system's random generator at the first start and kept there.
#pragma once

#include <chrono>
#include <string>

#include "ini_file.h"

namespace torznab {

struct IndexerSettings {
    std::string apiKey;
    bool siteSearchAlways = false;
    std::chrono::seconds siteSearchTime{10};
    int maxSiteSearches = 2;
    std::chrono::seconds downloadTime{60};
};

// Reads the settings; without a key, makes one and writes it to the file.
// False with a sentence when no key could be made or kept.
bool LoadIndexerSettings(CIniFile& config, IndexerSettings& settings, std::string& error);

// 32 hexadecimal digits from getrandom(); empty when the generator failed.
std::string MakeApiKey();

}  // namespace torznab
