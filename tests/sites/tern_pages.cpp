#include "tern_pages.h"

#include "gbk_text.h"

namespace tern_pages {

std::string Page(const std::string& word, const std::vector<Row>& rows) {
    std::string page =
        "<HTML>\n<HEAD>\n<META http-equiv=Content-Type content=\"text/html; charset=gb2312\">\n"
        "<TITLE>BT 下载 - " +
        word +
        "</TITLE>\n</HEAD>\n<BODY>\n<TABLE class=list cellSpacing=1 cellPadding=2 "
        "width=\"100%\">\n<TR class=head><TD>发布时间</TD><TD>种子名称</TD><TD>类别</TD>"
        "<TD>大小</TD><TD>种子</TD><TD>下载</TD></TR>\n";
    for (const Row& row : rows) {
        page +=
            "<TR onmouseover=\"this.style.background='#eef'\">"
            "<TD class=items align=middle nowrap>" +
            row.date + "</TD>\n<TD class=items><a href='" + row.link + "'>" + row.title +
            "</a> <img src=new.gif></TD>\n<TD class=items><a href='index.php?sort=" + word + "'>" +
            word + "</a></TD>\n<TD class=items align=right>" + row.size +
            "</TD>\n<TD class=items align=middle>" + std::to_string(row.seeds) +
            "</TD>\n<TD class=items align=middle>" + std::to_string(row.peers) + "</TD></TR>\n";
    }
    page += "</TABLE>\n<P align=center><a href='index.php?page=2&sort=" + word +
            "'>下一页</a></P>\n</BODY>\n</HTML>\n";
    return testing_support::Gbk(page);
}

}  // namespace tern_pages
