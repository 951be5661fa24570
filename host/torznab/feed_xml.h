// The indexer's XML answers: the capabilities document, the RSS feed of
// items and the error document. Rendering needs no core object, so the HTTP
// threads do it from plain values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "category_map.h"
#include "ole_date.h"

namespace torznab {

// One row of an answer, as the core hands it over.
struct FeedItem {
    std::string title;
    std::string guid;      // plug-in and Addr0
    std::string comments;  // the row's web page
    OleDate pubDate;
    std::string sizeText;  // as the site printed it
    int seeders = -1;      // -1: unknown
    int peers = -1;        // leechers as the site counts them; -1 unknown
    int standardCategory = kOtherCategory;
    int ownCategory = 0;  // 0 for a site result outside every leaf
    std::string token;    // of the download address
};

struct Caps {
    std::string title;
    struct Category {
        int id = 0;
        std::string name;
        std::vector<std::pair<int, std::string>> subcats;
    };
    std::vector<Category> categories;
};

// The categories of the caps document: the standard categories the leaves
// use, each with its standard subcategories and the leaves under it.
Caps MakeCaps(const std::string& title, const CCategoryMap& map);

std::string RenderCaps(const Caps& caps);
// `serverUrl` is "http://host:port" as the client reached the server; the
// items' download addresses are made from it, the token and the key.
std::string RenderFeed(const std::string& title, const std::string& serverUrl,
                       const std::string& apiKey, int offset, const std::vector<FeedItem>& items);
std::string RenderError(int code, const std::string& description);

// The download address of a token.
std::string DownloadUrl(const std::string& serverUrl, const std::string& token,
                        const std::string& apiKey);

}  // namespace torznab
