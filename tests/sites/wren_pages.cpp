#include "wren_pages.h"

#include "gbk_text.h"

namespace wren_site_pages {

std::string SearchPage(const std::string& base, const std::vector<Row>& rows) {
    std::string page = "<html>\n<body>\n<table width=98%>\n";
    for (const Row& row : rows) {
        page += "<tr bgcolor=#F0F0F0><td align=center nowrap>" + row.date +
                "</td>\n<td><a href=index.php?cateId=1>动画</a></td>\n"
                "<td class=title><a style=\"cursor:pointer\" onmouseover=\"showtip('<a href=" +
                base + "download.php?id=" + row.id +
                " class=dl><img src=images/bt.gif border=0></a>" + row.comment + "')\">" +
                row.title + "</a></td>\n<td align=right><a href=# title=\"大小\">" + row.size +
                "</a></td>\n<td align=center><b>" + std::to_string(row.seeds) +
                "</b></td>\n<td align=center><b>" + std::to_string(row.peers) +
                "</b></td>\n<td><a href=user.php?uid=7>发布组</a></td>\n<td><a href=" + base +
                "show.php?id=" + row.id + " target=_blank>详情</a></td>\n</tr>\n";
    }
    // Enough after the rows that the end tag is all the tail holds.
    return testing_support::Gbk(page + "</table>\n" + std::string(60, ' ') +
                                "\n</body>\n</html>\n");
}

std::string FormPage(const std::string& action, const std::string& checksum) {
    return testing_support::Gbk(
        "<html><body>请稍候...\n<FORM NAME=\"dl\" ACTION=\"" + action +
        "\" METHOD=\"post\">\n<INPUT TYPE=\"hidden\" NAME=\"checksum\" VALUE=\"" + checksum +
        "\">\n<INPUT TYPE=\"submit\" VALUE=\"下载\"></FORM>\n</body></html>\n");
}

}  // namespace wren_site_pages
