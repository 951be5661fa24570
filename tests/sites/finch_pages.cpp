#include "finch_pages.h"

#include "gbk_text.h"

namespace finch_pages {

std::string Page(const std::vector<Row>& rows, bool tail) {
    std::string page =
        "<html><head><title>种子</title></head><body>\n<table class=list>\n"
        "<tr class=\"head\"><td>日期</td><td>分类</td><td>名称</td><td>发布者</td><td>文件</td>"
        "<td>大小</td><td>种子</td><td>下载</td></tr>\n";
    int number = 0;
    for (const Row& row : rows) {
        const std::string seeds = std::to_string(row.seeds);
        page += "<tr class=\"r" + std::to_string(++number % 2) + "\"><td class=d>" + row.date +
                "</td><td><a href=\"index.html?filter=%B5%E7%D3%B0\">电影</a></td><td><a "
                "class=t href=\"" +
                row.link + "\">" + row.title + "</a></td><td>发布组</td><td>3</td><td>" + row.size +
                "</td><td>" + (row.boldSeeds ? "<b>" + seeds + "</b>" : seeds) + "</td><td>" +
                std::to_string(row.peers) + "</td></tr>\n";
    }
    page += "</table>\n<div class=pager>1</div>\n";
    if (tail) {
        page += "</body></HTML>\n";
    }
    return testing_support::Gbk(page);
}

}  // namespace finch_pages
