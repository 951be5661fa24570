// stork's listing pages, written as the site writes them, in GBK.
#pragma once

#include <string>
#include <vector>

namespace stork_pages {

// How the site prints a row's seed count.
enum class Seeds { kPlain, kBold, kHot };

struct Row {
    int year = 2005;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    std::string link;   // absolute, as the site prints it
    std::string title;  // UTF-8
    std::string size;
    int seeds = 0;
    int peers = 0;
    Seeds style = Seeds::kPlain;
};

// A listing page of the category `word` (UTF-8) holding `rows`.
std::string Page(const std::string& word, const std::vector<Row>& rows);

}  // namespace stork_pages
