#include "lark_pages.h"

#include <cstdio>

#include "gbk_text.h"

namespace lark_pages {

std::string Page(const std::vector<Row>& rows) {
    std::string page = "<html><body>\n";
    for (const Row& row : rows) {
        char date[16];
        std::snprintf(date, sizeof date, "%02d-%02d", row.month, row.day);
        page += "<li><A  class=pagetitle href=\"" + row.link + "\" target=_blank>" + row.title +
                "</A> [<A href=\"user.asp?id=3\">上传者</A>] [<A href=\"Class.asp?id=1\">电影</A>]"
                "<div class=date>" +
                date + "</div><div class=size><font color=#999999>" + row.size +
                "</font></div></li>\n";
    }
    return testing_support::Gbk(page + "</body></html>\n");
}

std::string DetailPage(const std::string& downLink) {
    std::string page = "<html><body><h1>详细信息</h1>\n<a href=\"../../index.asp\">首页</a>\n";
    if (!downLink.empty()) {
        page += "<p><a href=\"../../" + downLink + "\"><img src=down.gif>下载种子</a></p>\n";
    }
    return testing_support::Gbk(page + "</body></html>\n");
}

}  // namespace lark_pages
