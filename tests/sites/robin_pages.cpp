#include "robin_pages.h"

#include "gbk_text.h"
#include "page_markup.h"

namespace robin_pages {

namespace {

std::string Head(const std::string& title) {
    return page_markup::GbkHead(title) +
           "</head>\n<body>\n<div class=\"nav\"><a href=\"Index.asp\">首页</a> | "
           "<a href=\"Search.asp\">搜索</a> | <a href=\"http://bbs.robin.example/\">论坛</a>"
           "</div>\n";
}

const char kTableHead[] =
    "<table width=\"100%\" border=\"0\" cellspacing=\"1\" cellpadding=\"2\" "
    "bgcolor=\"#C0C0C0\">\n<tr class=\"title\"><td>发布时间</td><td>类别</td><td>名称</td>"
    "<td>大小</td><td>种子</td><td>下载</td></tr>\n";

std::string RowMarkup(const Row& row, int classId, bool withNote) {
    const std::string date = page_markup::MonthDayTime(row.month, row.day, row.hour, row.minute);
    const std::string title =
        row.recommended ? "<font color=\"#FF0000\"><b>" + row.title + "</b></font>" : row.title;
    const std::string note = withNote && row.recommended ? " [推荐]" : "";
    return "<tr bgcolor=\"#FFFFFF\" onmouseover=\"this.bgColor='#EEF3FA';\" "
           "onmouseout=\"this.bgColor='#FFFFFF';\"><td align=\"center\" nowrap>" +
           date +
           "</td><td align=\"center\"><a href=\"Index.asp?ClassID=" + std::to_string(classId) +
           "\"><img src=\"images/class.gif\" border=\"0\"></a></td><td align=\"left\">"
           "<img src=\"images/bt.gif\" align=\"absmiddle\"> <a href=\"Show.asp?ID=" +
           std::to_string(row.id) + "\" target=\"_blank\" title=\"查看详细\">" + title + "</a>" +
           note + "</td><td align=\"right\">" + row.size +
           "</td><td align=\"center\"><font color=\"#008000\"><b>" + std::to_string(row.seeds) +
           "</b></font></td><td align=\"center\"><font color=\"#0000FF\"><b>" +
           std::to_string(row.peers) + "</b></font></td></tr>\n";
}

std::string Pager(int classId, int page, int lastPage) {
    const std::string prefix = PagerPrefix(classId);
    std::string pager = "<tr><td colspan=\"6\" align=\"right\">共" + std::to_string(lastPage) +
                        "页 当前第" + std::to_string(page) + "页 <a href='" + prefix +
                        "1'>首页</a> ";
    if (page < lastPage) {
        pager += "<a href='" + prefix + std::to_string(page + 1) + "'>下一页</a> ";
    }
    pager += "<a href='" + prefix + std::to_string(lastPage) + "'>尾页</a></td></tr>\n";
    return pager;
}

}  // namespace

std::string PagerPrefix(int classId) {
    return "Index.asp?ClassID=" + std::to_string(classId) +
           "&Order=0&Count=" + std::to_string(classId * 3 + 40) + "&Page=";
}

std::string Page(int classId, const std::vector<Row>& rows, int page, int lastPage) {
    std::string html = Head("BT资源下载") + kTableHead;
    for (const Row& row : rows) {
        html += RowMarkup(row, classId, true);
    }
    if (lastPage > 1) {
        html += Pager(classId, page, lastPage);
    }
    html += "</table>\n</body>\n</html>\n";
    return testing_support::Gbk(html);
}

std::string SearchPage(const std::vector<Row>& rows) {
    std::string html = Head("搜索结果") + kTableHead;
    for (const Row& row : rows) {
        html += RowMarkup(row, 1, false);
    }
    html += "</table>\n</body>\n</html>\n";
    return testing_support::Gbk(html);
}

std::string DetailPage(const std::string& title, const std::vector<std::string>& links) {
    std::string html = Head(title) + "<h1>" + title + "</h1>\n<div class=\"info\">";
    for (const std::string& link : links) {
        html += "<a href=\"" + link + "\"><img src=\"images/down.gif\" border=\"0\">下载种子</a> ";
    }
    html += "</div>\n</body>\n</html>\n";
    return testing_support::Gbk(html);
}

}  // namespace robin_pages
