// tern's listing pages, written as the site writes them, in GBK.
#pragma once

#include <string>
#include <vector>

namespace tern_pages {

struct Row {
    std::string date;   // "2005-03-10 08:09:10"
    std::string link;   // relative, as the site prints it
    std::string title;  // UTF-8
    std::string size;
    int seeds = 0;
    int peers = 0;
};

// A listing page of the category `word` (UTF-8) holding `rows`.
std::string Page(const std::string& word, const std::vector<Row>& rows);

}  // namespace tern_pages
