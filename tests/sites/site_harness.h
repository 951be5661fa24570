// Loads one built site plug-in from a temporary home, the way the host
// does, and drives it through its exports against a fixture site.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "fixture_server.h"
#include "gbk_text.h"
#include "plugin_api.h"

namespace site_harness {

using testing_support::Gbk;

// A page run, search or fetch ends by itself: the engine allows each request
// 30 seconds without progress, and a run may make several. The limit here
// only turns a run that never ends into a failure, so it leaves a slow
// machine room for a run of many requests.
inline constexpr std::chrono::seconds kHangLimit{120};

// Calls `done` every few milliseconds until it answers true; false when the
// hang limit passed first.
template <typename Done>
bool PollUntilDone(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (done()) {
            return true;
        }
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

class LoadedSite {
  public:
    // `registryName` is the plug-in's path below kernel/ ("crane.so",
    // "petrel/larkspur.so"); the built file is taken from the build's kernel/.
    // `siteKeys` are further lines of the plug-in's [Site_...] section.
    LoadedSite(const std::string& registryName, const std::string& base,
               const std::string& siteKeys = "")
        : m_name(registryName) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tessaro-site-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        m_home = pattern + "/";
        const std::filesystem::path target = m_home + "kernel/" + registryName;
        std::filesystem::create_directories(target.parent_path());
        std::filesystem::create_symlink(std::string(TESSARO_KERNEL_DIR) + "/" + registryName,
                                        target);
        std::ofstream(m_home + "kernel/dllmgr.ini")
            << "[Site_" << registryName << "]\nBase=" << base << "\nCharset=GBK\n"
            << siteKeys;
        m_module = ::dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(m_module, nullptr) << ::dlerror();
        if (m_module == nullptr) {
            return;
        }
        StartDownPage = Bind<PFN_StartDownPage>("StartDownPage");
        StopDownPage = Bind<PFN_StopDownPage>("StopDownPage");
        GetDownPageStatus = Bind<PFN_GetDownPageStatus>("GetDownPageStatus");
        GetDownPageData = Bind<PFN_GetDownPageData>("GetDownPageData");
        StartDownTFile = Bind<PFN_StartDownTFile>("StartDownTFile");
        StopDownTFile = Bind<PFN_StopDownTFile>("StopDownTFile");
        GetDownTFileStatus = Bind<PFN_GetDownTFileStatus>("GetDownTFileStatus");
        StopAll = Bind<PFN_StopAll>("StopAll");
        ClearPageRecord = Bind<PFN_ClearPageRecord>("ClearPageRecord");
        StartSearch = Bind<PFN_StartSearch>("StartSearch");
        StopSearch = Bind<PFN_StopSearch>("StopSearch");
        GetSearchData = Bind<PFN_GetSearchData>("GetSearchData");
        GetSearchStatus = Bind<PFN_GetSearchStatus>("GetSearchStatus");
        WebIOCtl = Bind<PFN_WebIOCtl>("WebIOCtl");
    }
    ~LoadedSite() {
        Unload();
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }
    LoadedSite(const LoadedSite&) = delete;
    LoadedSite& operator=(const LoadedSite&) = delete;

    // Unloading writes the refresh dates into dllmgr.ini.
    void Unload() {
        if (m_module != nullptr) {
            ::dlclose(m_module);
            m_module = nullptr;
        }
    }

    const std::string& Home() const { return m_home; }
    std::string ReadRegistry() const {
        std::ifstream in(m_home + "kernel/dllmgr.ini");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // One whole page run of the slot: start, poll and hand over until 100,
    // stop. Answers every row handed over and the progress values seen.
    TorrentRecordArray RunSlot(int group, int index, std::vector<int>* progress = nullptr) {
        TorrentRecordArray rows;
        StartDownPage(group, index);
        const bool ended = PollUntilDone([&] {
            const int status = GetDownPageStatus(group, index);
            GetDownPageData(group, index, &rows);
            if (progress != nullptr && (progress->empty() || progress->back() != status)) {
                progress->push_back(status);
            }
            return status == 100;
        });
        EXPECT_TRUE(ended) << "the run did not end";
        StopDownPage(group, index);
        return rows;
    }

    // A whole search: start, poll and hand over until 100, stop.
    TorrentRecordArray RunSearch(const std::string& keyword) {
        TorrentRecordArray rows;
        const SearchHandle handle = StartSearch(keyword);
        if (handle == kNoSearch) {
            return rows;
        }
        const bool ended = PollUntilDone([&] {
            const int status = GetSearchStatus(handle);
            GetSearchData(handle, &rows);
            return status == 100;
        });
        EXPECT_TRUE(ended) << "the search did not end";
        StopSearch(handle);
        return rows;
    }

    PFN_StartDownPage StartDownPage = nullptr;
    PFN_StopDownPage StopDownPage = nullptr;
    PFN_GetDownPageStatus GetDownPageStatus = nullptr;
    PFN_GetDownPageData GetDownPageData = nullptr;
    PFN_StartDownTFile StartDownTFile = nullptr;
    PFN_StopDownTFile StopDownTFile = nullptr;
    PFN_GetDownTFileStatus GetDownTFileStatus = nullptr;
    PFN_StopAll StopAll = nullptr;
    PFN_ClearPageRecord ClearPageRecord = nullptr;
    PFN_StartSearch StartSearch = nullptr;
    PFN_StopSearch StopSearch = nullptr;
    PFN_GetSearchData GetSearchData = nullptr;
    PFN_GetSearchStatus GetSearchStatus = nullptr;
    PFN_WebIOCtl WebIOCtl = nullptr;

  private:
    template <typename Function>
    Function Bind(const char* name) {
        void* address = ::dlsym(m_module, name);
        EXPECT_NE(address, nullptr) << m_name << " lacks " << name;
        return reinterpret_cast<Function>(address);
    }

    std::string m_name;
    std::string m_home;
    void* m_module = nullptr;
};

}  // namespace site_harness
