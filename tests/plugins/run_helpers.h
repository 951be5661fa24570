// Driving page runs in tests: a settable clock, wren rows and pages served by
// the fixture server, and a poll loop that ends on 100 or a deadline.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fixture_server.h"
#include "ole_date.h"
#include "torrent_record.h"
#include "wren_pages.h"

namespace run_helpers {

inline std::atomic<int64_t> g_now{0};
inline int64_t FakeNow() {
    return g_now.load();
}

inline int64_t LocalSeconds(int year, int month, int day, int hour, int minute) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&fields));
}

// A row of 2024 (the fake clock stands in June 2024 unless a test moves it).
inline wren_pages::Row MakeRow(int id, int month, int day, int hour, int minute) {
    return {month,
            day,
            hour,
            minute,
            "[字幕组] 动画 " + std::to_string(id),
            "简介 " + std::to_string(id) + "<br>1280x720",
            std::to_string(id % 900 + 100) + ".5MB",
            id % 50,
            id % 7,
            id};
}

inline OleDate DateOf(const wren_pages::Row& row, int year = 2024) {
    return OleDate::FromFields(year, row.month, row.day, row.hour, row.minute);
}

inline std::string ListingTarget(int cateId, int page) {
    return "/index.php?cateId=" + std::to_string(cateId) + "&page=" + std::to_string(page) +
           "&order=default&by=DESC";
}

inline testing_support::FixtureReply PageReply(const testing_support::FixtureServer& server,
                                               const std::vector<wren_pages::Row>& rows) {
    testing_support::FixtureReply reply;
    reply.body = wren_pages::Page(server.Url("/"), rows);
    return reply;
}

inline void ServePage(testing_support::FixtureServer& server, int cateId, int page,
                      const std::vector<wren_pages::Row>& rows) {
    server.Route(ListingTarget(cateId, page), PageReply(server, rows));
}

struct RunResult {
    std::vector<int> statuses;
    TorrentRecordArray rows;
};

// Polls and hands over as the host does until the status is 100.
inline RunResult PollUntilDone(const std::function<int()>& poll,
                               const std::function<void(TorrentRecordArray*)>& handOver,
                               std::chrono::seconds limit = std::chrono::seconds(30)) {
    RunResult result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const int status = poll();
        handOver(&result.rows);
        result.statuses.push_back(status);
        if (status == 100) {
            return result;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the run did not end; last status " << status;
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The progress values a run reported, each once, without the 0 of its start.
inline std::vector<int> Steps(const std::vector<int>& statuses) {
    std::vector<int> steps;
    for (const int status : statuses) {
        if (status != 0 && (steps.empty() || steps.back() != status)) {
            steps.push_back(status);
        }
    }
    return steps;
}

}  // namespace run_helpers
