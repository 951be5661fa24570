// petrel's listing pages, written as the site writes them, in GBK.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace petrel_pages {

struct Row {
    time_t when = 0;    // printed as month-day hour:minute
    std::string hash;   // the torrent's id in the site's links
    std::string title;  // UTF-8
    std::string size;
    int seeds = 0;
    int peers = 0;
    bool highlighted = false;  // title in a font tag, counts in bold
};

// The links of a row, relative to the site.
std::string DetailLink(const Row& row);
std::string TorrentLink(const Row& row);

// A listing page holding `rows`.
std::string Page(const std::vector<Row>& rows);

}  // namespace petrel_pages
