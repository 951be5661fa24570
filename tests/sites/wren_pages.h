// wren's search result page and the form page some torrent links answer
// with, in GBK.
#pragma once

#include <string>
#include <vector>

namespace wren_site_pages {

struct Row {
    std::string date;  // month-day hour:minute as printed
    std::string id;
    std::string title;  // UTF-8, with the markup the site puts around it
    std::string comment;
    std::string size;
    int seeds = 0;
    int peers = 0;
};

// Links in the rows are absolute: `base` followed by the site's paths.
std::string SearchPage(const std::string& base, const std::vector<Row>& rows);
// A page whose form posts `checksum` to `action`.
std::string FormPage(const std::string& action, const std::string& checksum);

}  // namespace wren_site_pages
