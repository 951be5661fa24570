// Driving wren page runs in tests: a settable clock, wren rows served by the
// fixture server, and the host's poll loop.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <thread>

#include "fixture_server.h"
#include "local_time.h"
#include "torrent_record.h"
#include "wren_pages.h"

namespace run_helpers {

inline bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

inline std::atomic<int64_t> g_now{0};
inline int64_t FakeNow() {
    return g_now.load();
}

using testing_support::LocalSeconds;

inline wren_pages::Row MakeRow(int id, int month, int day, int hour, int minute) {
    const std::string n = std::to_string(id);
    return {month,      day,     hour,   minute, "[字幕组] 动画 " + n, "简介 " + n + "<br>1280x720",
            n + ".5MB", id % 50, id % 7, id};
}

// `count` rows of June 14th, newest first, the newest a minute before
// `before` minutes into the day.
inline std::vector<wren_pages::Row> Rows(int firstId, int count, int before) {
    std::vector<wren_pages::Row> rows;
    for (int i = 0; i < count; ++i) {
        const int minute = before - 1 - i;
        rows.push_back(MakeRow(firstId + i, 6, 14, minute / 60, minute % 60));
    }
    return rows;
}

inline OleDate DateOf(const wren_pages::Row& row, int year = 2024) {
    return OleDate::FromFields(year, row.month, row.day, row.hour, row.minute);
}

inline int IdOf(const TorrentRecord& record) {
    return std::atoi(record.Addr0.c_str() + record.Addr0.find("id=") + 3);
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

inline bool WaitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct RunResult {
    std::vector<int> steps;  // the progress values reported, each once, without 0
    TorrentRecordArray rows;
};

// Polls and hands over as the host does until the status is 100.
inline RunResult PollUntilDone(const std::function<int()>& poll,
                               const std::function<void(TorrentRecordArray*)>& handOver) {
    RunResult result;
    const bool done = WaitFor([&] {
        const int status = poll();
        handOver(&result.rows);
        if (status != 0 && (result.steps.empty() || result.steps.back() != status)) {
            result.steps.push_back(status);
        }
        return status == 100;
    });
    EXPECT_TRUE(done) << "the run did not end";
    return result;
}

}  // namespace run_helpers
