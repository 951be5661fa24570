// Every pattern of the sites' tables, run over rows written in that site's
// markup. Patterns, rows and groups are UTF-8 here and reach the matcher in
// GBK, as the plug-ins send them.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "crane/crane_site.h"
#include "egret/egret_site.h"
#include "finch/finch_site.h"
#include "heron/heron_site.h"
#include "ibis/ibis_site.h"
#include "kite/kite_site.h"
#include "lark/lark_site.h"
#include "match_all.h"
#include "osprey/osprey_site.h"
#include "petrel/petrel_site.h"
#include "plover/plover_site.h"
#include "robin/robin_site.h"
#include "stork/stork_site.h"
#include "swift/swift_site.h"
#include "tern/tern_site.h"
#include "wren/wren_site.h"

namespace {

struct PatternCase {
    const char* what;
    // The site's patterns that must each read `text` into `rows`.
    std::vector<std::string_view> patterns;
    const char* text;
    std::vector<std::vector<const char*>> rows;
};

struct SiteCase {
    const SiteData* site;
    std::vector<PatternCase> patterns;
};

// A link pattern's "%b" is the site's base address without its closing "/",
// punctuation escaped.
constexpr std::string_view kBase = "%b";
constexpr std::string_view kEscapedBase = R"(http://bt\.site\.test)";

std::string WithBase(std::string_view pattern) {
    std::string out(pattern);
    for (size_t at = out.find(kBase); at != std::string::npos; at = out.find(kBase, at)) {
        out.replace(at, kBase.size(), kEscapedBase);
        at += kEscapedBase.size();
    }
    return out;
}

// clang-format off

// egret and kite print their rows alike.
constexpr const char* kEgretMarkup = R"t(<script>var description12 = "A film <img src=\"a.jpg\">";</script>
<table class=row><tr><td class=icon><img src=film.gif></td><td class=date>03-10 10:15</td><td>电影</td><td><a href="show.php?id=12" onMousemove="tip(12)">影片</a></td><td><span class=size>1.4GB</span></td><td><label><font color=green>7</font>/<font color=blue>3</font></label></td></tr></table>)t";
const std::vector<const char*> kEgretGroups = {R"t(A film <img src=\"a.jpg\">)t", "03", "10", "10", "15", "show.php?id=12", "影片", "1.4GB", "7", "3"};

const SiteCase kSites[] = {
    {&heron::kSite, {
        {"search",
         {heron::kSite.search.text},
         "<BTList>\n<BTInfo ID=\"17\" PID=\"2\" TID=\"3\" FID=\"4\" AID=\"98765\" APATH=\"2005/03\" Hash=\"ab12\" FSize=\"1073741824\" "
         "DateLine=\"1110412800\" Seeds=\"1\" Sources=\"12\" Connected=\"34\">\n<FileName Index=\"0\">功夫.DVDRip</FileName>\n"
         "<Desc Index=\"0\">第一行\r\n[img]http://i.test/1.jpg[/img]</Desc>\n</BTInfo>\n</BTList>",
         {{"98765", "2005/03", "1073741824", "1110412800", "12", "34", "功夫.DVDRip", "第一行\r\n[img]http://i.test/1.jpg[/img]"}}},
        {"listing script arrays",
         {heron::kSite.page.text},
         "\"1\",\n\"03-10 08:30\",\n\"a\",\n\"b\",\n\"c\",\n\"标题\",\n\"d\",\n\"dl.php?id=1\",\n"
         "\"e\",\n\"700MB\",\n\"f\",\n\"g\",\n\"h\",\n\"12\",\n\"34\",\n\"i\",\n\"说明\",\n",
         {{"03", "10", "08", "30", "标题", "dl.php?id=1", "700MB", "12", "34", "说明"}}}}},

    {&wren::kSite, {
        {"page",
         {wren::kSite.page.text},
         R"t(<tr class=mainrow2>
<td class=dt nowrap>03-10 08:05</td><td><a href=sort.php?cateId=1>动画</a></td>
<td><a href=download.php?hash=1a2b class=dl><img src=dl.gif></a>字幕组作品')">運動會 第3集</a></td>
<td><a href=# class=sz>233.5MB</a></td><td><b>12</b></td><td><b>34</b></td>
<td><a href=user.php?uid=9>上传者</a></td><td><a href=show.php?hash=1a2b target=_blank>详情</a></td></tr>)t",
         {{"03", "10", "08", "05", "download.php?hash=1a2b", "字幕组作品", "運動會 第3集", "233.5MB", "12", "34", "show.php?hash=1a2b"}}},
        {"search",
         {wren::kSite.search.text},
         R"t(<tr bgcolor=#F0f8FF><td nowrap>12-31 23:59</td><td><a href=sort.php?cateId=2>漫画</a></td>
<td><a href=download.php?hash=ff class=dl><img src=dl.gif></a>说明')"><font color=red>标题</font></a></td>
<td><a href=#>1GB</a></td><td><b>0</b></td><td><b>5</b></td><td><a href=u.php>u</a></td><td><a href=show.php?hash=ff target=_blank>详情</a></td></tr>)t",
         {{"12", "31", "23", "59", "download.php?hash=ff", "说明", "<font color=red>标题</font>", "1GB", "0", "5", "show.php?hash=ff"}}},
        {"form page",
         {wren::kSite.linkPattern},
         "<FORM METHOD=\"POST\" ACTION=\"download.php?id=5\">\n<INPUT TYPE=\"hidden\" NAME=\"checksum\" VALUE=\"9f8e7d\">\n</FORM>",
         {{"download.php?id=5", "9f8e7d"}}}}},
    {&finch::kSite, {
        {"page and search",
         {finch::kSite.page.text, finch::kSite.search.text},
         R"t(<tr class="alt1"><td nowrap>2005-03-10</td><td><a href="index.html?filter=x">游戏</a></td><td><a class="t" href="download/12345.torrent"><strong>三国志</strong></a></td><td>2</td><td>1</td><td>1.2GB</td><td align=center><b>15</b></td><td align=center>3</td></tr>)t",
         {{"2005", "03", "10", "download/12345.torrent", "<strong>三国志</strong>", "1.2GB", "15", "3"}}}}},
    {&lark::kSite, {
        {"page and search",
         {lark::kSite.page.text, lark::kSite.search.text},
         R"t(<A  class=pagetitle href="Show.asp?id=4321" target=_blank>大话西游</A> <A href="c.asp">[电影]</A> <A href="u.asp">[会员]</A><div class=d>03-10</div><div class=s><font color=#999999>1.5G</font></div>)t",
         {{"Show.asp?id=4321", "大话西游", "03", "10", "1.5G"}}},
        {"torrent link",
         {lark::kSite.linkPattern},
         R"t(<a href="../../show/Down.asp?id=4321&f=1">下载</a>)t",
         {{"show/Down.asp?id=4321&f=1"}}}}},
    {&robin::kSite, {
        {"page",
         {robin::kSite.page.text},
         R"t(<tr bgcolor=#ffffff onmouseover="this.bgColor='#eeeeee'" onmouseout="this.bgColor='#ffffff'"><td class=d>03-10 21:05</td><td class=c><a href="Index.asp?ClassID=1">电影</a></td><td class=t><a href="ShowTorrent.asp?id=888" target=_blank><font color=red><b>无间道</b></font></a> [12 files]</td><td>700MB</td><td class=n><b>5</b> / <b>9</b></td></tr>)t",
         {{"03", "10", "21", "05", "ShowTorrent.asp?id=888", "无间道", "700MB", "5", "9"}}},
        {"search",
         {robin::kSite.search.text},
         R"t(<tr onmouseover="this.bgColor='#eeeeee'" onmouseout="this.bgColor='#ffffff'"><td>01-02 03:04</td><td><a href="Index.asp?ClassID=2">剧集</a></td><td><a href="ShowTorrent.asp?id=7"><span class=k>搜索</span>结果</a></td><td>1GB</td><td><b>0</b> / <b>1</b></td></tr>)t",
         {{"01", "02", "03", "04", "ShowTorrent.asp?id=7", "<span class=k>搜索</span>结果", "1GB", "0", "1"}}},
        {"pager",
         {robin::kSite.pagerPattern},
         R"t(<a href='Index.asp?ClassID=401&Order=1&Count=2345&Page=2'>[2]</a>)t",
         {{"Index.asp?ClassID=401&Order=1&Count=2345&Page="}}},
        {"torrent link, relative and absolute",
         {robin::kSite.linkPattern},
         R"t(<a href="/torrent/123.torrent">1</a> <a href="http://bt.site.test/torrent/9.torrent">2</a>)t",
         {{"/torrent/123.torrent"}, {"http://bt.site.test/torrent/9.torrent"}}}}},
    {&egret::kSite, {
        {"page and search", {egret::kSite.page.text, egret::kSite.search.text}, kEgretMarkup, {kEgretGroups}},
        {"torrent link",
         {egret::kSite.linkPattern},
         R"t(<a href="show.php?id=1">x</a><a href="download.php?url=files/abc.torrent">下载</a>)t",
         {{"download.php?url=files/abc.torrent"}}}}},
    {&swift::kSite, {
        {"page and search",
         {swift::kSite.page.text, swift::kSite.search.text},
         R"t(<td nowrap>03-10 12:00</td><td class=c><a href="?category=x">游戏</a></td><td><a href="torrents/55.torrent" title="t"><img src="hot.gif">仙剑</a></td><td class=s>2.1GB</td><td><font color=red>8</font></td><td><font color=blue>2</font></td>)t",
         {{"03", "10", "12", "00", "torrents/55.torrent", "仙剑", "2.1GB", "8", "2"}}}}},
    {&plover::kSite, {
        {"page, odd and even rows",
         {plover::kSite.page.text},
         R"t(<tr align="center" class="odd">
  <td nowrap><font color="#666666">2005-03-10&nbsp;21:30</font></td>
  <td align="left"><a href="javascript:DownLoad(77,'http://dl.plover.test/77.torrent')"><font class="t">英雄</font></a>
  <a href="#top"><img src="up.gif"></a> <a href="show_77.htm" target="_blank">简介</a></td>
  <td><font color="#0000ff"><font size="2">1.5GB
  </font></font></td>
</tr>
<tr align="center" class="even">
	<td nowrap><font>2005-03-09&nbsp;08:00</font></td>
  <td><a href="javascript:DownLoad(78,'http://dl.plover.test/78.torrent')"><font>十面埋伏</font></a>
  <a href="#top"></a> <a href="show_78.htm">简介</a></td>
  <td><font><font>700MB
	</font></font></td>
</tr>)t",
         {{"2005", "03", "10", "21", "30", "http://dl.plover.test/77.torrent", "英雄", "show_77.htm", "1.5GB"},
          {"2005", "03", "09", "08", "00", "http://dl.plover.test/78.torrent", "十面埋伏", "show_78.htm", "700MB"}}}}},
    {&crane::kSite, {
        {"page, with and without a style",
         {crane::kSite.page.text},
         R"t(<td class="folder"><img src="images/attachicons/common.gif"></td>
<td class="subject"><a href="viewthread.php?tid=90001" style="color: #FF0000">[BT] 大长今 第1集</a></td>
<td class="author"><a href="space.php?uid=3">m</a><br><span class="smalltxt">2005-3-10</span></td>
<td class="folder"><img src="images/attachicons/common.gif"></td>
<td class="subject"><a href="viewthread.php?tid=90002" >[BT] 第2集</a></td>
<td class="author"><span class="smalltxt">2005-3-9</span></td>)t",
         {{"viewthread.php?tid=90001", "[BT] 大长今 第1集", "2005", "3", "10"},
          {"viewthread.php?tid=90002", "[BT] 第2集", "2005", "3", "9"}}},
        {"torrent link",
         {crane::kSite.linkPattern},
         R"t(<a href="attachment.php?aid=555" target="_blank">dc.torrent</a>)t",
         {{"attachment.php?aid=555"}}}}},
    {&petrel::kSite, {
        {"page and search",
         {petrel::kSite.page.text, petrel::kSite.search.text},
         R"t(<TR>
    <td align="left" class="lista" ><a name="t1"></a><A HREF="details.php?id=abc" title="view"><font color=red>我的父亲母亲</font></A> <A HREF=download.php?id=abc&f=t.torrent><img src=dl.gif></A></td>
    <td align="center" class="lista">03-10 22:45</td>
    <td align="center" class="lista">700 MB</td>
    <td align="center" class="lista"><b>4</b></td>
    <td align="center" class="lista">6</td>
</TR>)t",
         {{"details.php?id=abc", "我的父亲母亲", "download.php?id=abc&f=t.torrent", "03", "10", "22", "45", "700 MB", "4", "6"}}}}},
    {&ibis::kSite, {
        {"page",
         {ibis::kSite.page.text},
         R"t(<td nowrap title="分类"><a href="read.php?tid=321">[查看]</a> <a href="torrent/2005/321.torrent" target=_blank><img src="new.gif"><font color=blue>東京愛情故事</font></a></td>
<td nowrap title="日期">03-10 09:05</td>
<td>350MB</td>
<td><font color=red><b>11</b></font></td>
<td>22</td>)t",
         {{"read.php?tid=321", "torrent/2005/321.torrent", "<font color=blue>東京愛情故事</font>", "03", "10", "09", "05", "350MB", "11", "22"}}},
        {"search",
         {ibis::kSite.search.text},
         R"t(<td nowrap title="x"><a href="read.php?tid=9">[查看]</a> <a href="torrent/9.torrent">質數</a></td>
<td nowrap title="y">12-01 00:00</td>
<td>1GB</td>
<td><font><b>0</b></font></td>
<td>0</td>)t",
         {{"read.php?tid=9", "torrent/9.torrent", "質數", "12", "01", "00", "00", "1GB", "0", "0"}}},
        {"torrent link",
         {ibis::kSite.linkPattern},
         R"t(<a href="read.php?tid=9">x</a><a href="torrent/2005/321.torrent">下载</a>)t",
         {{"torrent/2005/321.torrent"}}}}},
    {&kite::kSite, {
        {"page and search", {kite::kSite.page.text, kite::kSite.search.text}, kEgretMarkup, {kEgretGroups}},
        {"torrent link",
         {kite::kSite.linkPattern},
         R"t(<a href="download.php?id=12&hash=ff">下载</a>)t",
         {{"download.php?id=12&hash=ff"}}}}},
    {&osprey::kSite, {
        {"page",
         {osprey::kSite.page.text},
         R"t(<tr><td width="70%"><a href="../soft/2005/1234.htm"><img src="../img/t.gif" border=0>&nbsp;&nbsp;星际争霸&nbsp;</a></td><td class=d>2005-03-10</td></tr>)t",
         {{"soft/2005/1234.htm", "星际争霸", "2005", "03", "10"}}},
        {"search",
         {osprey::kSite.search.text},
         R"t(<tr height="22">
  <td width="60%"><a href="soft/2005/1234.htm"><img src="t.gif">&nbsp;<font color=red>星际</font>争霸</a> 新</td>
  <td align=center>2005-03-10</td>
  <td>软件</td>
  <td>12</td>
  <td align=center>15.2MB</td>
</tr>)t",
         {{"soft/2005/1234.htm", "<font color=red>星际</font>争霸", "2005", "03", "10", "15.2MB"}}},
        {"numbered links",
         {osprey::kSite.linkPattern},
         R"t(<a href="../down.asp?id=1234&no=1">下载1</a> <a href="../down.asp?id=1234&no=2">下载2</a>)t",
         {{"down.asp?id=1234&no="}, {"down.asp?id=1234&no="}}}}},
    {&tern::kSite, {
        {"page",
         {tern::kSite.page.text},
         R"t(<TR><TD class=items align=middle nowrap>2005-03-10 08:09:10</TD>
<TD class=items><a href='download.php?id=42'>仙剑奇侠传</a></TD>
<TD class=items>游戏</TD>
<TD class=items>650MB</TD>
<TD class=items>3</TD>
<TD class=items>5</TD></TR>)t",
         {{"2005", "03", "10", "08", "09", "10", "download.php?id=42", "仙剑奇侠传", "650MB", "3", "5"}}}}},
    {&stork::kSite, {
        {"page",
         {stork::kSite.page.text},
         R"t(<tr><td class="t"> 2005年03月10日 21时30分 </td>
<td align="left"  class="n" nowrap><a href="http://bt.stork.test/d/42.torrent">动画 第12话</a></td>
<td>1</td><td>1</td>
<td class="s"> 233MB</td>
    <td align="center"><b><font color="red">17</font></b></td>
    <td align="center">4</td></tr>)t",
         {{"2005", "03", "10", "21", "30", "http://bt.stork.test/d/42.torrent", "动画 第12话", "233MB", "17", "4"}}}}},
};

// clang-format on

void PrintTo(const SiteCase& site, std::ostream* out) {
    *out << site.site->tag;
}

class SitePatterns : public testing::TestWithParam<SiteCase> {};

TEST_P(SitePatterns, FindTheRowsAndTheirGroups) {
    for (const PatternCase& pattern : GetParam().patterns) {
        SCOPED_TRACE(pattern.what);
        Rows expected;
        for (const auto& row : pattern.rows) {
            std::vector<std::string>& groups = expected.emplace_back();
            for (const char* group : row) {
                groups.push_back(Gbk(group));
            }
        }
        const int groups = static_cast<int>(pattern.rows.front().size());
        for (const std::string_view text : pattern.patterns) {
            EXPECT_EQ(MatchAll(Gbk(WithBase(text)), Gbk(pattern.text), groups), expected) << text;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sites, SitePatterns, testing::ValuesIn(kSites),
                         [](const testing::TestParamInfo<SiteCase>& info) {
                             return std::string(info.param.site->tag);
                         });

}  // namespace
