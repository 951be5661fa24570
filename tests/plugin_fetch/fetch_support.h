// A temporary home, a settable clock and a poll loop for driving a
// PluginManager built on a site made up by the test.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "plugin_location.h"
#include "plugin_manager.h"

namespace fetch_support {

inline std::atomic<int64_t> g_now{1'700'000'000};
inline int64_t FakeNow() {
    return g_now.load();
}

class Home {
  public:
    // `siteKeys` are the lines of the plug-in's [Site_test.so] section.
    explicit Home(const std::string& siteKeys = "") {
        std::string path =
            (std::filesystem::temp_directory_path() / "tessaro-fetch-XXXXXX").string();
        if (mkdtemp(path.data()) == nullptr) {
            std::abort();
        }
        root_ = path;
        std::filesystem::create_directories(root_ / "kernel");
        std::filesystem::create_directories(Torrents());
        std::ofstream(root_ / "kernel/dllmgr.ini") << "[Site_test.so]\n" << siteKeys;
    }
    ~Home() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    Home(const Home&) = delete;
    Home& operator=(const Home&) = delete;

    PluginLocation Location() const { return {root_.string() + "/", "test.so"}; }
    std::filesystem::path Torrents() const { return root_ / "torrents"; }
    std::filesystem::path Root() const { return root_; }
    std::string Ini() const {
        std::stringstream text;
        text << std::ifstream(root_ / "kernel/dllmgr.ini").rdbuf();
        return text.str();
    }
    // Names in torrents/, sorted.
    std::vector<std::string> TorrentFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Torrents())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Read(const std::string& name) const {
        std::stringstream text;
        text << std::ifstream(Torrents() / name, std::ios::binary).rdbuf();
        return text.str();
    }

  private:
    std::filesystem::path root_;
};

// Polls `poll` until it answers something `done` accepts, or 20 s pass.
template <typename Poll, typename Done>
int PollUntil(Poll poll, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = poll();
    while (!done(status) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        status = poll();
    }
    return status;
}

// Polls a torrent-file task until it answers 100 or -1.
inline int FetchToEnd(PluginManager& manager, const TorrentRecord& record) {
    return PollUntil([&] { return manager.GetDownTFileStatus(&record); },
                     [](int status) { return status == 100 || status == -1; });
}

}  // namespace fetch_support
