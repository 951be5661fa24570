// heron's search service answer: an XML list of BTInfo elements, in GBK.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace heron_pages {

struct Entry {
    std::string aid;
    std::string apath;
    std::string bytes;  // the size in bytes, as digits
    time_t when = 0;
    int sources = 0;
    int connected = 0;
    std::string fileName;     // UTF-8
    std::string description;  // UTF-8, with the board's [img] markup and CRLFs
};

std::string SearchAnswer(const std::vector<Entry>& entries);

}  // namespace heron_pages
