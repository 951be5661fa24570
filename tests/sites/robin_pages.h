// robin's board pages: a table of rows that light up under the pointer, and a
// pager of links that carry the board's order, row count and page number.
#pragma once

#include <string>
#include <vector>

namespace robin_pages {

struct Row {
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    std::string title;  // UTF-8
    // Recommended rows show the title bold and red, with a note after it.
    bool recommended = false;
    std::string size = "1.2GB";
    int seeds = 0;
    int peers = 0;
    int id = 0;
};

// The pager prefix of a board: the link of page n is this followed by n.
std::string PagerPrefix(int classId);

// A board page in GBK. With `lastPage` > 1 the page carries the pager, with
// links up to that page; a board of one page has none.
std::string Page(int classId, const std::vector<Row>& rows, int page, int lastPage);

// The search result page in GBK. Titles are printed as given (the site marks
// new entries inside them); results carry no recommendation note.
std::string SearchPage(const std::vector<Row>& rows);

// A torrent's detail page in GBK whose download anchors lead to `links`, in
// order, besides the site's navigation.
std::string DetailPage(const std::string& title, const std::vector<std::string>& links);

}  // namespace robin_pages
