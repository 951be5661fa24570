// kite's listing pages: one small table per row after a script line holding
// the row's description; featured titles are coloured with a font tag.
#pragma once

#include <string>
#include <vector>

namespace kite_pages {

struct Row {
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    std::string title;  // UTF-8
    std::string color;  // featured rows: the title's font colour
    std::string description;
    std::string size = "233MB";
    int seeds = 0;
    int peers = 0;
    int id = 0;
};

// A listing page in GBK.
std::string Page(const std::vector<Row>& rows);

// A torrent's page in GBK with its download link `torrentLink`.
std::string DetailPage(const std::string& title, const std::string& torrentLink);

}  // namespace kite_pages
