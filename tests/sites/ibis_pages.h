// ibis's listing pages: one table row per torrent with a detail link, a
// download link whose title may carry status icons and a colour, and the
// date, size and peer cells each on their own line.
#pragma once

#include <string>
#include <vector>

namespace ibis_pages {

struct Row {
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    std::string title;  // UTF-8
    std::string color;  // featured rows: the title's font colour
    int icons = 0;      // 0..2 status icons before the title
    std::string size = "1.37GB";
    int seeds = 0;
    int peers = 0;
    int id = 0;
};

// A listing page of forum `fid` in GBK.
// The search answers with the same page, forum 0, without icons.
std::string Page(int fid, const std::vector<Row>& rows);

// The download page in GBK: the torrent's file list and its link.
std::string DownloadPage(const std::string& title, const std::string& torrentLink);

}  // namespace ibis_pages
