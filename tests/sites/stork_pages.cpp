#include "stork_pages.h"

#include <cstdio>

#include "gbk_text.h"

namespace stork_pages {

namespace {

std::string SeedsMarkup(const Row& row) {
    const std::string count = std::to_string(row.seeds);
    switch (row.style) {
        case Seeds::kPlain:
            return count;
        case Seeds::kBold:
            return "<b>" + count + "</b>";
        case Seeds::kHot:
            return "<b><font color=\"red\"><font size=\"3\">" + count + "</font></font></b>";
    }
    return count;
}

std::string RowMarkup(const Row& row) {
    char date[64];
    std::snprintf(date, sizeof date, "%d年%02d月%02d日 %02d时%02d分", row.year, row.month, row.day,
                  row.hour, row.minute);
    return "<tr bgcolor=\"#F7F7F7\">\n<td class=\"date\"> " + std::string(date) +
           " </td>\n<td align=\"left\"  class=\"name\" nowrap><a href=\"" + row.link + "\">" +
           row.title + "</a></td>\n<td><a href=\"comment.php\">评论</a></td><td>" +
           "<img src=\"images/ok.gif\"></td>\n<td class=\"size\"> " + row.size +
           "</td>\n    <td align=\"center\">" + SeedsMarkup(row) +
           "</td>\n    <td align=\"center\">" + std::to_string(row.peers) + "</td>\n</tr>\n";
}

}  // namespace

std::string Page(const std::string& word, const std::vector<Row>& rows) {
    std::string page =
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=gb2312\">\n<title>" +
        word +
        " - 最新种子</title>\n</head>\n<body>\n<table width=\"100%\" border=\"0\">\n<tr "
        "class=\"head\"><td>发布时间</td><td>名称</td><td>评论</td><td>状态</td><td>大小</td>"
        "<td>种子</td><td>下载</td></tr>\n";
    for (const Row& row : rows) {
        page += RowMarkup(row);
    }
    page +=
        "</table>\n<p class=\"pages\">第 1 页 <a href=\"?page=2\">下一页</a></p>\n</body>\n"
        "</html>\n";
    return testing_support::Gbk(page);
}

}  // namespace stork_pages
