#include "swift_pages.h"

#include "gbk_text.h"
#include "page_markup.h"

namespace swift_pages {

namespace {

std::string RowMarkup(const std::string& word, const Row& row) {
    const std::string date = page_markup::MonthDayTime(row.when);
    return "<tr class=row onmouseover=\"this.className='over'\" "
           "onmouseout=\"this.className='row'\">"
           "<td nowrap>" +
           date + "</td><td class=c><a href=\"?category=%A1%F8\">" + word +
           "</a></td><td class=n><a href=\"" + row.link + "\" title=\"下载种子\">" +
           (row.hot ? "<img src=\"images/hot.gif\" border=0>" : "") + row.title +
           "</a></td><td class=s>" + row.size + "</td><td><font color=red>" +
           std::to_string(row.seeds) + "</font></td><td><font color=blue>" +
           std::to_string(row.peers) + "</font></td></tr>\n";
}

}  // namespace

std::string Page(const std::string& word, const std::vector<Row>& rows) {
    std::string page =
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=gb2312\">\n<title>" +
        word +
        " - 种子列表</title>\n</head>\n<body>\n<form action=\"\" method=get>搜索: <input "
        "name=searchstr> <input type=submit value=\"搜索\"></form>\n<table class=list "
        "width=\"100%\">\n<tr class=head><td>发布时间</td><td>分类</td><td>名称</td><td>大小</"
        "td><td>种子</td><td>下载</td></tr>\n";
    for (const Row& row : rows) {
        page += RowMarkup(word, row);
    }
    page += "</table>\n<div class=pager><a href=\"?spage=2\">下一页</a></div>\n</BODY>\n</HTML>\n";
    return testing_support::Gbk(page);
}

}  // namespace swift_pages
