// plover's static listing pages, written as the site writes them, in GBK.
#pragma once

#include <string>
#include <vector>

namespace plover_pages {

struct Row {
    std::string date;     // "2005-03-10 21:30"
    int id = 0;           // the site's torrent number
    std::string torrent;  // absolute link to the file, on the site's download host
    std::string title;    // UTF-8
    std::string size;
};

// The detail page of a row, relative to the site.
std::string DetailLink(const Row& row);

// A listing page of the category `word` (UTF-8) holding `rows`; rows take the
// classes odd and even in turn.
std::string Page(const std::string& word, const std::vector<Row>& rows);

}  // namespace plover_pages
