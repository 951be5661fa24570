// osprey's listing pages, search results and detail pages, in GBK.
#pragma once

#include <string>
#include <vector>

namespace osprey_pages {

struct Row {
    std::string link;   // the detail page, relative to the site
    std::string title;  // UTF-8, as the site prints it
    std::string date;   // year-month-day as printed
    std::string size;   // search results only
};

std::string ListingPage(const std::vector<Row>& rows);
std::string SearchPage(const std::vector<Row>& rows);
// A detail page with the numbered download links of entry `id`; none when
// `id` is empty.
std::string DetailPage(const std::string& id);

}  // namespace osprey_pages
