// swift's listing pages, written as the site writes them, in GBK.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace swift_pages {

struct Row {
    time_t when = 0;    // printed as month-day hour:minute
    std::string link;   // relative, as the site prints it
    std::string title;  // UTF-8
    std::string size;
    int seeds = 0;
    int peers = 0;
    bool hot = false;  // a hot row has an icon in front of its title
};

// A listing page of the category `word` (UTF-8) holding `rows`.
std::string Page(const std::string& word, const std::vector<Row>& rows);

}  // namespace swift_pages
