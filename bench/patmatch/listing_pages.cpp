#include "listing_pages.h"

#include <cstdio>

namespace {

// Markup that sits between rows on real pages: menus, hidden tips, scripts.
// It holds tags and attributes but never the start of a row.
std::string Filler(size_t bytes, int seed) {
    static const char* const kPieces[] = {
        "<div class=\"tip\" style=\"display:none\"><span>Seeded by a member</span></div>\n",
        "<script type=\"text/javascript\">document.write('<img src=\"pix.gif\">');</script>\n",
        "<td class=\"spacer\"><img src=\"images/blank.gif\" width=\"1\" height=\"4\"></td>\n",
        "<a href=\"forum.php?tid=77\" title=\"Discussion\">talk</a>&nbsp;|&nbsp;\n",
        "<!-- advert slot: 468x60, rotated by the banner service -->\n",
    };
    std::string out;
    for (size_t i = static_cast<size_t>(seed); out.size() < bytes; ++i) {
        out += kPieces[i % std::size(kPieces)];
    }
    out.resize(bytes);
    return out;
}

std::string Format(const char* format, auto... args) {
    char buffer[4096];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

std::string WrenRow(int n, bool broken) {
    return Format(
        "<tr class=mainrow%d>\n<td class=dt nowrap>%02d-%02d %02d:%02d</td>\n"
        "<td><a href=sort.php?cateId=1>Anime</a></td>\n"
        "<td><a href=download.php?hash=%08x class=dl><img src=images/dl.gif></a>"
        "A fansub release with subtitles, episode %d')\">Release title number %d</a></td>\n"
        "<td><a href=# class=sz>%d.%dMB</a></td>\n<td><b>%d</b></td><td><b>%d</b></td>\n"
        "<td><a href=user.php?uid=%d>uploader</a></td>\n"
        "<td><a href=show.php?hash=%08x %s=_blank>details</a></td>\n</tr>\n",
        n % 2 + 1, n % 12 + 1, n % 28 + 1, n % 24, n % 60, 0x1000 + n, n, n, 100 + n, n % 10, n * 3,
        n * 2, 40 + n, 0x1000 + n, broken ? "rel" : "target");
}

std::string PloverRow(int n, bool broken) {
    return Format(
        "<tr align=\"center\" class=\"%s\">\n  <td nowrap><font color=\"#666666\">"
        "2005-%02d-%02d&nbsp;%02d:%02d</font></td>\n"
        "  <td align=\"left\"><a "
        "href=\"javascript:DownLoad(%d,'http://dl.example.net/%d.torrent')\">"
        "<font class=\"t\">Film number %d, complete</font></a>\n"
        "  <a href=\"#top\"><img src=\"up.gif\"></a> <a href=\"show_%d.htm\" target=\"_blank\">"
        "info</a></td>\n  <td><font color=\"#0000ff\"><font "
        "size=\"2\">%d.%dGB%s</font></td>\n</tr>\n",
        n % 2 ? "odd" : "even", n % 12 + 1, n % 28 + 1, n % 24, n % 60, n, 5000 + n, n, 5000 + n,
        n % 4 + 1, n % 10, broken ? "" : "\n  ");
}

std::string CraneRow(int n, bool broken) {
    return Format(
        "<tr>\n<td class=\"folder\"><img src=\"images/attachicons/common.gif\"></td>\n"
        "<td class=\"subject\"><a href=\"viewthread.php?tid=%d&amp;extra=page%%3D1\"%s>"
        "[BT] Series %d episode %d</a></td>\n"
        "<td class=\"author\"><a href=\"space.php?uid=%d\">member%d</a><br>"
        "<span class=\"smalltxt\">%s</span></td>\n<td class=\"nums\">%d / %d</td>\n</tr>\n",
        90000 + n, n % 3 ? " " : " style=\"color: #FF0000\"", n, n % 26 + 1, 300 + n, n,
        broken ? "2005/03/10" : "2005-3-10", n * 5, n * 80);
}

}  // namespace

const std::vector<ListingSite>& ListingSites() {
    static const std::vector<ListingSite> sites = {
        {"wren",
         "<tr class=mainrow\\d+>.*?<td.*?>({\\d+}-{\\d+} {\\d+}:{\\d+})</td>.*?<a.*?</a>.*?"
         "<a href=({.*?}) class=.*?</a>({.*?})'\\)\">({.*?})</a>.*?<a.*?>({.*?})</a>.*?"
         "<b>({\\d+})</b>.*?<b>({\\d+})</b>.*?<a.*?</a>.*?<a href=({.*?}) target",
         11, WrenRow},
        {"plover",
         "<tr\\balign=\"center\"\\bclass=\"(even)|(odd)\">\\n\\b+<td.*?><font.*?>"
         "({\\d+}-{\\d+}-{\\d+}&nbsp;{\\d+}:{\\d+})</font></td>.*?"
         "javascript:DownLoad\\(\\d+,'({.*?})'\\)\"><font.*?>({.*?})</font></a>.*?<a.*?"
         "<a\\bhref=\"({.*?})\".*?>.*?<font.*?<font.*?>({.*?})\\n\\b+</font>",
         9, PloverRow},
        {"crane",
         "<img\\bsrc=\"images/attachicons/common\\.gif\">.*?<a\\bhref=\"({.*?})\"\\b"
         "(style=\".*?\")?>({.*?})</a>.*?<span.*?>({\\d+}-{\\d+}-{\\d+})</span>",
         5, CraneRow},
    };
    return sites;
}

std::string BuildListingPage(const ListingSite& site, int rows, size_t page_bytes, bool broken) {
    std::string rows_text;
    for (int i = 0; i < rows; ++i) {
        rows_text += site.row(i, broken);
    }
    const std::string head = "<html><head><title>Listing</title></head><body><table>\n";
    const std::string tail = "</table></body></html>\n";
    const size_t fixed = head.size() + rows_text.size() + tail.size();
    const size_t gap = page_bytes > fixed ? (page_bytes - fixed) / static_cast<size_t>(rows) : 0;

    std::string page = head;
    for (int i = 0; i < rows; ++i) {
        page += Filler(gap, i);
        page += site.row(i, broken);
    }
    page += tail;
    return page;
}
