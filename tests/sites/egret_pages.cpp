#include "egret_pages.h"

#include "gbk_text.h"
#include "page_markup.h"

namespace egret_pages {

namespace {

std::string RowMarkup(const Row& row) {
    const std::string date = page_markup::MonthDayTime(row.month, row.day, row.hour, row.minute);
    const std::string id = std::to_string(row.id);
    return "<script language=\"javascript\">var description" + id + " = \"" +
           page_markup::ScriptString(row.description) +
           "\";</script>\n"
           "<table width=\"100%\" border=\"0\" cellspacing=\"0\" class=\"torrent\"><tr>"
           "<td width=\"24\"><img src=\"images/type.gif\" alt=\"类型\"></td>\n"
           "<td width=\"80\" class=\"date\">" +
           date +
           "</td>\n"
           "<td width=\"60\"><a href=\"index.php?category=0\">综合</a></td>\n"
           "<td class=\"name\"><a href=\"details.php?id=" +
           id + "\" onMousemove=\"showdesc(description" + id +
           ")\" onMouseout=\"hidedesc()\" target=\"_blank\">" + row.title +
           "</a></td>\n"
           "<td width=\"70\" align=\"right\"><span class=\"size\">" +
           row.size +
           "</span></td>\n"
           "<td width=\"80\" align=\"center\"><label title=\"种子/下载\"><font color=\"green\">" +
           std::to_string(row.seeds) + "</font> / <font color=\"red\">" +
           std::to_string(row.peers) + "</font></label></td></tr></table>\n";
}

}  // namespace

std::string Page(const std::string& category, const std::vector<Row>& rows) {
    std::string html =
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=gb2312\">\n<title>" +
        category +
        " - 种子列表</title>\n<script src=\"tip.js\"></script>\n</head>\n<body>\n"
        "<form name=\"list\" method=\"post\" action=\"index.php\">\n"
        "<input type=\"hidden\" name=\"page\" value=\"\">\n</form>\n";
    for (const Row& row : rows) {
        html += RowMarkup(row);
    }
    html +=
        "<div class=\"pages\"><a href=\"javascript:gopage(2)\">下一页</a></div>\n"
        "</body>\n</html>\n";
    return testing_support::Gbk(html);
}

std::string DetailPage(const std::string& title, const std::string& torrentLink) {
    return testing_support::Gbk(
        page_markup::GbkHead(title) + "</head>\n<body>\n<h2>" + title +
        "</h2>\n<table class=\"detail\"><tr><td>发布者</td><td><a "
        "href=\"userdetails.php?id=7\">片源组</a> <a href=\"download.php?uid=7\">其他种子</a>"
        "</td></tr>\n<tr><td>下载</td><td><a href=\"" +
        torrentLink + "\"><img src=\"pic/torrent.gif\" border=\"0\"> " + title +
        ".torrent</a></td></tr>\n</table>\n</body>\n</html>\n");
}

}  // namespace egret_pages
