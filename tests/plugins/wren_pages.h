// wren-like listing pages for tests and benchmarks: the markup of the site's
// listing table, in GBK.
#pragma once

#include <string>
#include <vector>

namespace wren_pages {

struct Row {
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    std::string title;    // UTF-8
    std::string comment;  // UTF-8
    std::string size = "350.2MB";
    int seeds = 0;
    int peers = 0;
    int id = 0;
};

// A listing page with `rows` in order. The site prints absolute links that
// start with `base`. With `padTo`, filler markup between the rows brings the
// page to about that many bytes.
std::string Page(const std::string& base, const std::vector<Row>& rows, size_t padTo = 0);

// The markup of one row, in GBK.
std::string RowMarkup(const std::string& base, const Row& row, int number);

}  // namespace wren_pages
