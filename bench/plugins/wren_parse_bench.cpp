// Parsing one 150 kB wren listing page of 50 rows into records, GBK to UTF-8
// included.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "listing_parser.h"
#include "site_context.h"
#include "wren_pages.h"
#include "wren_site.h"

int main() {
    constexpr double kTargetMicros = 150.0;
    constexpr int kRounds = 301;
    const std::string base = "http://wren.example/";

    std::vector<wren_pages::Row> rows;
    for (int i = 0; i < 50; ++i) {
        rows.push_back({6, 14, 23 - i / 3, 59 - i,
                        "[字幕组] 某动画 第" + std::to_string(i) + "话 1280x720 简繁内封",
                        "简介：第" + std::to_string(i) + "话<br>字幕：简体中文<br>格式：MKV",
                        std::to_string(100 + i) + ".5MB", i * 3, i % 7, 5000 + i});
    }
    std::string page = wren_pages::Page(base, rows, 150 * 1024);

    // No kernel/ folder: the compiled defaults.
    const SiteContext context(wren::kSite, PluginLocation{"/nonexistent/", "wren.so"});
    auto fromSite = MakeFromSite(context.Charset());
    const ListingParser parser(context, wren::kSite.page, context.PagePattern(), *fromSite);
    std::tm today{};
    today.tm_year = 124;
    today.tm_mon = 5;
    today.tm_mday = 15;

    std::vector<double> micros;
    size_t parsed = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<TorrentRecord> records;
        const auto start = std::chrono::steady_clock::now();
        parser.ForEachRow(page.data(), page.size(), 3 * 256 + 1, today,
                          [&](TorrentRecord&& record) { records.push_back(std::move(record)); });
        const auto end = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        parsed = records.size();
    }
    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];
    std::printf("wren page parse: %zu bytes, %zu rows, median %.1f us (target <= %.0f us)\n",
                page.size(), parsed, median, kTargetMicros);
    if (parsed != rows.size()) {
        std::printf("FAIL: parsed %zu rows, expected %zu\n", parsed, rows.size());
        return 1;
    }
    return median <= kTargetMicros ? 0 : 1;
}
