#include "crane_pages.h"

#include <cstdio>

#include "gbk_text.h"

namespace crane_pages {

namespace {

std::string ThreadMarkup(const Thread& thread) {
    char date[32];
    std::snprintf(date, sizeof date, "%d-%d-%d", thread.year, thread.month, thread.day);
    const std::string tid = std::to_string(thread.id);
    const std::string icon =
        thread.attachment ? "<img src=\"images/attachicons/common.gif\"> " : "";
    const std::string style = thread.style.empty() ? "" : "style=\"" + thread.style + "\"";
    return "<tbody id=\"normalthread_" + tid +
           "\"><tr>\n<td class=\"folder\"><img src=\"images/default/folder_common.gif\"></td>\n"
           "<th class=\"subject\"><label>" +
           icon + "</label><span id=\"thread_" + tid + "\"><a href=\"viewthread.php?tid=" + tid +
           "\" " + style + ">" + thread.title +
           "</a></span></th>\n"
           "<td class=\"author\"><cite><a href=\"space.php?uid=" +
           std::to_string(thread.id % 97) + "\">发布者" + std::to_string(thread.id % 97) +
           "</a></cite><span class=\"time\">" + date +
           "</span></td>\n"
           "<td class=\"nums\"><strong>" +
           std::to_string(thread.id % 13) + "</strong> / <em>" + std::to_string(thread.id * 3) +
           "</em></td>\n"
           "<td class=\"lastpost\"><em><a href=\"redirect.php?tid=" +
           tid + "&amp;goto=lastpost#lastpost\">" + date + " 23:10</a></em></td>\n</tr></tbody>\n";
}

}  // namespace

std::string Page(int fid, const std::vector<Thread>& threads) {
    std::string html =
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=gbk\">\n<title>BT发布区 - 论坛</title>\n</head>\n<body>\n"
        "<div id=\"nav\"><a href=\"index.php\">论坛首页</a> &raquo; <a "
        "href=\"forumdisplay.php?fid=" +
        std::to_string(fid) + "\">BT发布区</a></div>\n<table summary=\"forum_" +
        std::to_string(fid) +
        "\" cellspacing=\"0\" cellpadding=\"0\">\n"
        "<tbody id=\"stickthread_1\"><tr>\n<td class=\"folder\"><img "
        "src=\"images/default/folder_lock.gif\"></td>\n<th class=\"subject\"><label></label>"
        "<span id=\"thread_1\"><a href=\"viewthread.php?tid=1\" >发布规则，发种前必读</a></span>"
        "</th>\n<td class=\"author\"><cite><a href=\"space.php?uid=1\">管理员</a></cite>"
        "<span class=\"time\">2005-3-1</span></td>\n</tr></tbody>\n";
    for (const Thread& thread : threads) {
        html += ThreadMarkup(thread);
    }
    html += "</table>\n<div class=\"pages\"><a href=\"forumdisplay.php?fid=" + std::to_string(fid) +
            "&amp;page=2\" class=\"next\">下一页</a></div>\n</body>\n</html>\n";
    return testing_support::Gbk(html);
}

std::string ThreadPage(const Thread& thread, const std::string& attachmentLink) {
    const std::string tid = std::to_string(thread.id);
    return testing_support::Gbk(
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=gbk\">\n<title>" +
        thread.title +
        " - BT发布区</title>\n</head>\n<body>\n<div id=\"nav\"><a href=\"index.php\">论坛首页"
        "</a> &raquo; <a href=\"forumdisplay.php?fid=269\">BT发布区</a></div>\n"
        "<div class=\"post\" id=\"pid" +
        tid +
        "\"><div class=\"postinfo\"><a href=\"space.php?uid=5\">发布者</a></div>\n"
        "<div class=\"postmessage\"><h2>" +
        thread.title +
        "</h2>\n<p>片名：……</p>\n<div class=\"box postattachlist\"><dl class=\"t_attachlist\">"
        "<dt><img src=\"images/attachicons/torrent.gif\"> <a href=\"" +
        attachmentLink + "\" target=\"_blank\">" + tid +
        ".torrent</a> <em>(21.3 KB)</em></dt><dd>下载次数: 140</dd></dl></div>\n"
        "</div></div>\n</body>\n</html>\n");
}

}  // namespace crane_pages
