// Listing pages of about 150 kB with 50 rows, in the markup of three sites,
// for timing the matcher on pages of realistic size and shape.
#pragma once

#include <string>
#include <vector>

struct ListingSite {
    const char* name;
    const char* pattern;
    int groups;
    // One row; `broken` writes it the way a site that changed its markup a
    // little would: the row breaks just before its end.
    std::string (*row)(int number, bool broken);
};

const std::vector<ListingSite>& ListingSites();

// The page: a head, `rows` rows separated by filler, a tail; about
// `page_bytes` long in all.
std::string BuildListingPage(const ListingSite& site, int rows, size_t page_bytes, bool broken);
