#include "plover_pages.h"

#include "gbk_text.h"
#include "page_markup.h"

namespace plover_pages {

namespace {

std::string RowMarkup(const Row& row, bool odd) {
    // The site separates date and time with a non-breaking space entity.
    const std::string date = row.date.substr(0, 10) + "&nbsp;" + row.date.substr(11);
    const std::string id = std::to_string(row.id);
    return std::string("<tr align=\"center\" class=\"") + (odd ? "odd" : "even") + "\">\n" +
           (odd ? "  " : "\t") + "<td nowrap><font color=\"#666666\">" + date +
           "</font></td>\n  <td align=\"left\"><a href=\"javascript:DownLoad(" + id + ",'" +
           row.torrent + "')\"><font class=\"t\">" + row.title +
           "</font></a>\n  <a href=\"#top\"><img src=\"images/up.gif\" border=0></a> <a href=\"" +
           DetailLink(row) +
           "\" target=\"_blank\">简介</a></td>\n  <td><font color=\"#0000ff\"><font "
           "size=\"2\">" +
           row.size + "\n  </font></font></td>\n</tr>\n";
}

}  // namespace

std::string DetailLink(const Row& row) {
    return "show_" + std::to_string(row.id) + ".htm";
}

std::string Page(const std::string& word, const std::vector<Row>& rows) {
    std::string page =
        page_markup::GbkHead(word) +
        "<script language=\"javascript\">function DownLoad(id, url) { "
        "window.open(url); }</script>\n</head>\n<body>\n<table width=\"760\" cellspacing=\"1\">\n"
        "<tr align=\"center\" class=\"head\"><td>日期</td><td>名称</td><td>大小</td></tr>\n";
    for (size_t i = 0; i < rows.size(); ++i) {
        page += RowMarkup(rows[i], i % 2 == 0);
    }
    page += "</table>\n</body>\n</html>\n";
    return testing_support::Gbk(page);
}

}  // namespace plover_pages
