// Fetching torrent files through a loaded site plug-in: the record's file
// under the temporary home's torrents/, and the poll loop of the host's
// download tasks.
#pragma once

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "site_harness.h"
#include "site_replies.h"

namespace fetch_harness {

using testing_support::Torrent;

inline testing_support::FixtureReply Reply(std::string body, int status = 200) {
    testing_support::FixtureReply reply;
    reply.status = status;
    reply.body = std::move(body);
    return reply;
}

// A reply whose connection stays open after the body and that gives no
// length: only the page's own end tells the plug-in it has all of it.
inline testing_support::FixtureReply HeldOpen(std::string body) {
    testing_support::FixtureReply reply = Reply(std::move(body));
    reply.omitLength = true;
    reply.stallAfterBytes = static_cast<long>(reply.body.size());
    return reply;
}

inline std::filesystem::path Torrents(const site_harness::LoadedSite& site) {
    return std::filesystem::path(site.Home()) / "torrents";
}

// Starts the record's fetch and polls it until it answers 100 or -1. Answers
// the handle and every status seen, repeats left out.
struct FetchResult {
    int handle = 0;
    std::vector<int> statuses;
};

inline FetchResult Fetch(site_harness::LoadedSite& site, TorrentRecord& record) {
    std::filesystem::create_directories(Torrents(site));
    FetchResult result;
    result.handle = record.DownHd = site.StartDownTFile(&record);
    if (result.handle == 0) {
        return result;
    }
    site_harness::PollUntilDone([&] {
        const int status = site.GetDownTFileStatus(&record);
        if (result.statuses.empty() || result.statuses.back() != status) {
            result.statuses.push_back(status);
        }
        return status == 100 || status == -1;
    });
    site.StopDownTFile(&record);
    return result;
}

inline std::string ReadTorrent(const site_harness::LoadedSite& site, const std::string& name) {
    std::stringstream text;
    text << std::ifstream(Torrents(site) / (name + ".torrent"), std::ios::binary).rdbuf();
    return text.str();
}

// The names in torrents/, sorted.
inline std::vector<std::string> TorrentFiles(const site_harness::LoadedSite& site) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Torrents(site))) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline std::atomic<int64_t> g_now{0};
inline int64_t FakeNow() {
    return g_now.load();
}

// Puts the plug-in on g_now, starting at the system's time.
inline void UseFakeClock(const site_harness::LoadedSite& site, const std::string& registryName) {
    g_now = std::time(nullptr);
    const std::string path = site.Home() + "kernel/" + registryName;
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr);
    auto hook = reinterpret_cast<void (*)(int64_t(*)())>(::dlsym(module, "SetPluginClock"));
    ASSERT_NE(hook, nullptr);
    hook(&FakeNow);
    ::dlclose(module);
}

}  // namespace fetch_harness
