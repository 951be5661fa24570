#include "ibis_pages.h"

#include "gbk_text.h"
#include "page_markup.h"

namespace ibis_pages {

namespace {

std::string RowMarkup(const Row& row, int number) {
    const std::string date = page_markup::MonthDayTime(row.month, row.day, row.hour, row.minute);
    const std::string id = std::to_string(row.id);
    static const char* const kIcons[] = {"<img src=\"images/new.gif\" border=\"0\">",
                                         "<img src=\"images/hot.gif\" border=\"0\">"};
    std::string title;
    for (int i = 0; i < row.icons && i < 2; ++i) {
        title += kIcons[i];
    }
    title += row.color.empty() ? row.title
                               : "<font color=\"" + row.color + "\">" + row.title + "</font>";
    return "<tr class=\"tr" + std::to_string(number % 2 + 1) +
           "\">\n"
           "<td nowrap title=\"查看详细信息\"><a href=\"view.php?id=" +
           id +
           "\" target=\"_blank\"><img src=\"images/detail.gif\" border=\"0\"></a></td>\n"
           "<td align=\"left\"><a href=\"download.php?id=" +
           id + "\" title=\"下载种子\">" + title +
           "</a></td>\n"
           "<td nowrap title=\"发布时间\">" +
           date + "</td>\n<td>" + row.size + "</td>\n<td><font color=\"#008000\"><b>" +
           std::to_string(row.seeds) + "</b></font></td>\n<td>" + std::to_string(row.peers) +
           "</td>\n</tr>\n";
}

}  // namespace

std::string Page(int fid, const std::vector<Row>& rows) {
    std::string html =
        page_markup::GbkHead("BT下载 - 分区" + std::to_string(fid)) +
        "</head>\n<body>\n"
        "<form action=\"index.php\" method=\"get\"><input type=\"hidden\" name=\"fid\" value=\"" +
        std::to_string(fid) +
        "\"><input type=\"text\" name=\"title\"><input type=\"submit\" name=\"submit\" "
        "value=\"Go\"></form>\n"
        "<table width=\"100%\" class=\"torrents\">\n<tr class=\"head\"><td>详细</td><td>名称</td>"
        "<td>时间</td><td>大小</td><td>种子</td><td>下载</td></tr>\n";
    for (size_t i = 0; i < rows.size(); ++i) {
        html += RowMarkup(rows[i], static_cast<int>(i));
    }
    html += "</table>\n<div class=\"pages\">第1页 <a href=\"index.php?fid=" + std::to_string(fid) +
            "&page=2\">下一页</a></div>\n</body>\n</html>\n";
    return testing_support::Gbk(html);
}

std::string DownloadPage(const std::string& title, const std::string& torrentLink) {
    return testing_support::Gbk(
        page_markup::GbkHead("下载 " + title) + "</head>\n<body>\n<table class=\"files\"><tr><td>" +
        title +
        ".avi</td><td>700MB</td></tr></table>\n<p><a href=\"index.php\">返回</a> "
        "<a href=\"" +
        torrentLink + "\">点击下载种子文件</a></p>\n</body>\n</html>\n");
}

}  // namespace ibis_pages
