#include "kite_pages.h"

#include "gbk_text.h"
#include "page_markup.h"

namespace kite_pages {

namespace {

std::string RowMarkup(const Row& row) {
    const std::string date = page_markup::MonthDayTime(row.month, row.day, row.hour, row.minute);
    const std::string id = std::to_string(row.id);
    const std::string title = row.color.empty()
                                  ? row.title
                                  : "<font color=\"" + row.color + "\">" + row.title + "</font>";
    return "<script>var description" + id + " = \"" + page_markup::ScriptString(row.description) +
           "\";</script>\n"
           "<table class=\"list\" width=\"100%\" cellpadding=\"2\"><tr>"
           "<td class=\"icon\"><img src=\"pic/anime.gif\"></td>"
           "<td class=\"time\" nowrap>" +
           date +
           "</td>"
           "<td class=\"group\"><a href=\"index.php?groupid=2\">字幕组</a></td>"
           "<td class=\"title\"><a href=\"show.php?id=" +
           id + "\" onMousemove=\"showTip(description" + id + ")\" onMouseout=\"hideTip()\">" +
           title +
           "</a></td>"
           "<td class=\"size\"><span>" +
           row.size +
           "</span></td>"
           "<td class=\"stat\"><label><font class=\"seed\">" +
           std::to_string(row.seeds) + "</font>|<font class=\"leech\">" +
           std::to_string(row.peers) + "</font></label></td></tr></table>\n";
}

}  // namespace

std::string Page(const std::vector<Row>& rows) {
    std::string html =
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=gbk\">\n<title>动漫BT下载</title>\n</head>\n<body>\n"
        "<div id=\"menu\"><a href=\"index.php\">首页</a> <a href=\"upload.php\">发布</a></div>\n";
    for (const Row& row : rows) {
        html += RowMarkup(row);
    }
    html +=
        "<div class=\"pager\"><a href=\"#\" onclick=\"nextPage()\">下一页</a></div>\n"
        "</body>\n</html>\n";
    return testing_support::Gbk(html);
}

std::string DetailPage(const std::string& title, const std::string& torrentLink) {
    return testing_support::Gbk(
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=gbk\">\n<title>" +
        title +
        "</title>\n</head>\n<body>\n<div id=\"menu\"><a href=\"index.php\">首页</a></div>\n"
        "<div class=\"torrent\"><h3>" +
        title + "</h3><p>文件列表：" + title + ".mkv</p><p><a href=\"" + torrentLink +
        "\" title=\"下载种子\"><img src=\"pic/dl.gif\"></a></p></div>\n</body>\n</html>\n");
}

}  // namespace kite_pages
