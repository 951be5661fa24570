#include "wren_pages.h"

#include <cstdio>

#include "gbk_text.h"

namespace wren_pages {

using testing_support::Gbk;

std::string RowMarkup(const std::string& base, const Row& row, int number) {
    char date[32];
    std::snprintf(date, sizeof date, "%02d-%02d %02d:%02d", row.month, row.day, row.hour,
                  row.minute);
    const std::string id = std::to_string(row.id);
    return Gbk("<tr class=mainrow" + std::to_string(number % 2 + 1) +
               ">\n<td align=center nowrap>" + date +
               "</td>\n<td><a href=index.php?cateId=1>动画</a></td>\n"
               "<td class=title><a style=\"cursor:pointer\" onmouseover=\"showtip('<a href=" +
               base + "download.php?id=" + id + " class=dl><img src=images/bt.gif border=0></a>" +
               row.comment + "')\">" + row.title +
               "</a></td>\n<td align=right><a href=# title=\"文件大小\">" + row.size +
               "</a></td>\n<td align=center><b>" + std::to_string(row.seeds) +
               "</b></td>\n<td align=center><b>" + std::to_string(row.peers) +
               "</b></td>\n<td><a href=user.php?uid=7>发布组</a></td>\n<td><a href=" + base +
               "show.php?id=" + id + " target=_blank>详情</a></td>\n</tr>\n");
}

std::string Page(const std::string& base, const std::vector<Row>& rows, size_t padTo) {
    std::string head = Gbk(
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\n"
        "<title>动画 - 种子列表</title>\n<link rel=stylesheet href=style.css>\n</head>\n<body>\n"
        "<table class=nav><tr><td><a href=index.php>首页</a> | <a href=index.php?cateId=1>动画</a>"
        " | <a href=index.php?cateId=2>漫画</a> | <a href=search.php>搜索</a></td></tr></table>\n"
        "<table width=98% class=list>\n<tr class=title><td>发布时间</td><td>分类</td><td>标题</td>"
        "<td>大小</td><td>种子</td><td>下载</td><td>发布者</td><td>详情</td></tr>\n");
    const std::string tail =
        Gbk("</table>\n<div class=pager><a href=index.php?cateId=1&page=2>下一页</a></div>\n"
            "</body>\n</html>\n");
    std::vector<std::string> markup;
    size_t size = head.size() + tail.size();
    for (size_t i = 0; i < rows.size(); ++i) {
        markup.push_back(RowMarkup(base, rows[i], static_cast<int>(i)));
        size += markup.back().size();
    }
    // Filler of the kind such pages carry: hidden separator rows with inline
    // styles and script.
    const std::string filler =
        "<tr class=sep><td colspan=8 style=\"height:1px;background:#e0e0e0\"><script>"
        "document.write('<img src=images/blank.gif width=1 height=1>');</script></td></tr>\n";
    const size_t gaps = rows.size() + 1;
    const size_t fillers = padTo > size ? (padTo - size) / filler.size() / gaps : 0;
    std::string page = head;
    for (size_t i = 0; i <= rows.size(); ++i) {
        for (size_t k = 0; k < fillers; ++k) {
            page += filler;
        }
        if (i < rows.size()) {
            page += markup[i];
        }
    }
    page += tail;
    return page;
}

}  // namespace wren_pages
