// crane's board pages: a thread list where threads with an attached torrent
// show the attachment icon; highlighted threads carry a style on their link.
#pragma once

#include <string>
#include <vector>

namespace crane_pages {

struct Thread {
    int year = 2024;
    int month = 1;
    int day = 1;
    std::string title;  // UTF-8
    std::string style;  // highlighted threads: the link's style
    bool attachment = true;
    int id = 0;
};

// A page of board `fid` in GBK, with a sticky notice above the threads.
std::string Page(int fid, const std::vector<Thread>& threads);

// A thread in GBK whose first post carries the attachment `attachmentLink`
// (besides links to the poster and the board).
std::string ThreadPage(const Thread& thread, const std::string& attachmentLink);

}  // namespace crane_pages
