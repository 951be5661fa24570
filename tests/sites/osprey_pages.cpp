#include "osprey_pages.h"

#include "gbk_text.h"

namespace osprey_pages {

std::string ListingPage(const std::vector<Row>& rows) {
    std::string page = "<html><body><table width=\"100%\">\n";
    for (const Row& row : rows) {
        page += "<tr><td width=\"75%\"><a href=\"../" + row.link +
                "\"><img src=\"../img/bt.gif\" border=0>&nbsp;" + row.title +
                "</a></td><td class=date>" + row.date + "</td></tr>\n";
    }
    return testing_support::Gbk(page + "</table></body></html>\n");
}

std::string SearchPage(const std::vector<Row>& rows) {
    std::string page = "<html><body><table>\n";
    for (const Row& row : rows) {
        page += "<tr height=\"22\">\n    <td width=\"60%\"><a href=\"" + row.link +
                "\"><img src=\"img/bt.gif\">&nbsp;" + row.title +
                "&nbsp;</a> <span>new</span></td>\n    <td class=date>" + row.date +
                "</td><td>软件</td><td>12</td>\n    <td class=size>" + row.size + "</td>\n</tr>\n";
    }
    return testing_support::Gbk(page + "</table></body></html>\n");
}

std::string DetailPage(const std::string& id) {
    std::string page = "<html><body><h2>下载</h2>\n";
    if (!id.empty()) {
        page += "<a href=\"../down.asp?id=" + id +
                "&no=1\">电信下载</a>\n<a href=\"../down.asp?id=" + id + "&no=2\">网通下载</a>\n";
    }
    return testing_support::Gbk(page + "</body></html>\n");
}

}  // namespace osprey_pages
