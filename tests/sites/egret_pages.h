// egret's listing pages: each row is a small table of its own, preceded by a
// script line that holds the row's description as an escaped string.
#pragma once

#include <string>
#include <vector>

namespace egret_pages {

struct Row {
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    std::string title;        // UTF-8, markup allowed
    std::string description;  // UTF-8 as shown; quotes are escaped on the page
    std::string size = "700MB";
    int seeds = 0;
    int peers = 0;
    int id = 0;
};

// A listing page in GBK; `category` names the category in the page head.
std::string Page(const std::string& category, const std::vector<Row>& rows);

// A torrent's detail page in GBK: its description, a link to the uploader's
// other torrents, and the download link `torrentLink`.
std::string DetailPage(const std::string& title, const std::string& torrentLink);

}  // namespace egret_pages
