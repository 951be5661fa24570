// lark's listing pages and the detail page that holds a file's link, in GBK.
#pragma once

#include <string>
#include <vector>

namespace lark_pages {

struct Row {
    std::string link;   // relative detail page, as the site prints it
    std::string title;  // UTF-8
    int month = 1;
    int day = 1;
    std::string size;
};

std::string Page(const std::vector<Row>& rows);
// A detail page whose download anchor points at `downLink` (relative to the
// site, written the site's way as ../../<downLink>); none when empty.
std::string DetailPage(const std::string& downLink);

}  // namespace lark_pages
