// finch's listing and search result pages, in GBK.
#pragma once

#include <string>
#include <vector>

namespace finch_pages {

struct Row {
    std::string date;   // year-month-day as printed
    std::string link;   // absolute, as the site prints it
    std::string title;  // UTF-8, with the markup the site puts around it
    std::string size;
    int seeds = 0;
    int peers = 0;
    bool boldSeeds = false;
};

// `tail` closes the page; a result page may end without its connection
// closing, so tests can leave it out.
std::string Page(const std::vector<Row>& rows, bool tail = true);

}  // namespace finch_pages
