#include "petrel_pages.h"

#include "gbk_text.h"
#include "page_markup.h"

namespace petrel_pages {

namespace {

std::string Cell(const std::string& text) {
    return "    <td align=\"center\" class=\"lista\">" + text + "</td>\n";
}

std::string RowMarkup(const Row& row, int number) {
    const std::string date = page_markup::MonthDayTime(row.when);
    const auto count = [&row](int value) {
        return row.highlighted ? "<b>" + std::to_string(value) + "</b>" : std::to_string(value);
    };
    return "<TR>\n    <td align=\"left\" class=\"lista\" ><a name=\"t" + std::to_string(number) +
           "\"></a><A HREF=\"" + DetailLink(row) + "\" title=\"查看详情\">" +
           (row.highlighted ? "<font color=red>" + row.title + "</font>" : row.title) +
           "</A> <A HREF=" + TorrentLink(row) +
           "><img src=images/download.gif border=0></A></td>\n" + Cell(date) + Cell(row.size) +
           Cell(count(row.seeds)) + Cell(count(row.peers)) + "</TR>\n";
}

}  // namespace

std::string DetailLink(const Row& row) {
    return "details.php?id=" + row.hash;
}

std::string TorrentLink(const Row& row) {
    return "download.php?id=" + row.hash + "&f=" + row.hash + ".torrent";
}

std::string Page(const std::vector<Row>& rows) {
    std::string page =
        "<html>\n<head>\n<meta http-equiv=\"content-type\" content=\"text/html; "
        "charset=gb2312\">\n<title>种子列表</title>\n</head>\n<body>\n<form method=\"post\" "
        "action=\"index.php\"><input name=\"testoricerca\"> <input type=\"submit\" "
        "name=\"ricerca\" value=\"搜索\"></form>\n<table class=\"lista\" width=\"100%\">\n<TR>\n"
        "    <td class=\"header\">名称</td><td class=\"header\">时间</td><td "
        "class=\"header\">大小</td><td class=\"header\">种子</td><td "
        "class=\"header\">下载</td>\n</TR>\n";
    for (size_t i = 0; i < rows.size(); ++i) {
        page += RowMarkup(rows[i], static_cast<int>(i + 1));
    }
    page += "</table>\n</body>\n</html>\n";
    return testing_support::Gbk(page);
}

}  // namespace petrel_pages
