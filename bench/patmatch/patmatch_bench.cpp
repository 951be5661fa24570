// Times the matcher on whole listing pages the way the listing parser uses
// it: one matcher per page, every row found and every group copied out.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "listing_pages.h"
#include "patmatch.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRows = 50;
constexpr size_t kPageBytes = 150 * 1024;
constexpr int kRuns = 200;
constexpr int kBrokenRuns = 20;
constexpr double kPageTargetUs = 100.0;
constexpr double kBrokenTargetUs = 15000.0;

// Answers the rows found; every group of every row passes through the
// 1024-byte buffer the parser uses.
int ParsePage(const char* pattern, std::string& page, int groups) {
    IParse* parser = CreateParse();
    if (parser == nullptr) {
        return -1;
    }
    int rows = 0;
    if (parser->Parse(pattern, page.c_str())) {
        char buffer[1024];
        while (parser->FindNext()) {
            for (int g = 0; g < groups; ++g) {
                parser->GetGroup(g, buffer, sizeof buffer);
            }
            ++rows;
        }
    }
    DeleteParse(parser);
    return rows;
}

struct Timing {
    double median_us;
    double max_us;
    int rows;
};

Timing TimePage(const ListingSite& site, std::string& page, int runs) {
    std::vector<double> samples;
    int rows = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        rows = ParsePage(site.pattern, page, site.groups);
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.back(), rows};
}

bool Report(const char* what, const ListingSite& site, const Timing& timing, double target_us,
            int expected_rows) {
    const bool ok = timing.median_us <= target_us && timing.rows == expected_rows;
    std::printf("%-7s %-22s median %9.1f us (max %9.1f)  target <= %7.0f us  rows %2d/%2d  %s\n",
                site.name, what, timing.median_us, timing.max_us, target_us, timing.rows,
                expected_rows, ok ? "ok" : "MISSED");
    return ok;
}

}  // namespace

int main() {
    bool ok = true;
    for (const ListingSite& site : ListingSites()) {
        std::string page = BuildListingPage(site, kRows, kPageBytes, false);
        ParsePage(site.pattern, page, site.groups);  // compile and warm up outside the timing
        ok &= Report("page, all rows", site, TimePage(site, page, kRuns), kPageTargetUs, kRows);

        // Every row breaks just before its end: the search must give up
        // within the bound and find nothing, never hang.
        std::string broken = BuildListingPage(site, kRows, kPageBytes, true);
        ok &= Report("page, rows broken", site, TimePage(site, broken, kBrokenRuns),
                     kBrokenTargetUs, 0);
    }
    return ok ? 0 : 1;
}
