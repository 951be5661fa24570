// wren.so loaded from a temporary home and driven only through its exports.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "plugin_api.h"
#include "plugin_entry.h"
#include "run_helpers.h"
#include "site_context.h"
#include "test_home.h"

namespace {

using namespace run_helpers;
using testing_support::FixtureServer;
using wren_pages::Row;

struct Exports {
    PFN_StartDownPage StartDownPage;
    PFN_StopDownPage StopDownPage;
    PFN_GetDownPageStatus GetDownPageStatus;
    PFN_GetDownPageData GetDownPageData;
    PFN_StartDownTFile StartDownTFile;
    PFN_StopDownTFile StopDownTFile;
    PFN_GetDownTFileStatus GetDownTFileStatus;
    PFN_StopAll StopAll;
    PFN_ClearPageRecord ClearPageRecord;
    PFN_StartSearch StartSearch;
    PFN_StopSearch StopSearch;
    PFN_GetSearchData GetSearchData;
    PFN_GetSearchStatus GetSearchStatus;
    PFN_WebIOCtl WebIOCtl;
};

class LoadedPlugin {
  public:
    explicit LoadedPlugin(const std::filesystem::path& path) {
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            ADD_FAILURE() << dlerror();
            return;
        }
        void** slots = reinterpret_cast<void**>(&exports_);
        for (size_t i = 0; i < std::size(kPluginExportNames); ++i) {
            slots[i] = dlsym(handle_, kPluginExportNames[i]);
            EXPECT_NE(slots[i], nullptr) << kPluginExportNames[i];
        }
        auto setClock = reinterpret_cast<PFN_SetPluginClock>(dlsym(handle_, kSetPluginClockName));
        EXPECT_NE(setClock, nullptr);
        if (setClock != nullptr) {
            setClock(&FakeNow);
        }
    }
    ~LoadedPlugin() { Unload(); }
    void Unload() {
        if (handle_ != nullptr) {
            dlclose(handle_);
            handle_ = nullptr;
        }
    }
    bool Loaded() const { return handle_ != nullptr; }
    const Exports& operator*() const { return exports_; }
    const Exports* operator->() const { return &exports_; }

  private:
    void* handle_ = nullptr;
    Exports exports_{};
};
static_assert(sizeof(Exports) == sizeof(void*) * std::size(kPluginExportNames));

class WrenPlugin : public ::testing::Test {
  protected:
    void SetUp() override {
        g_now = LocalSeconds(2024, 6, 15, 12, 0);
        std::filesystem::copy_file(WREN_PLUGIN_PATH, home_.Kernel() / "wren.so");
    }

    RunResult Run(const LoadedPlugin& plugin, int group, int index) {
        EXPECT_EQ(plugin->StartDownPage(group, index), 1);
        RunResult run = PollUntilDone([&] { return plugin->GetDownPageStatus(group, index); },
                                      [&](TorrentRecordArray* out) {
                                          EXPECT_EQ(plugin->GetDownPageData(group, index, out), 1);
                                      });
        EXPECT_EQ(plugin->StopDownPage(group, index), 1);
        return run;
    }

    FixtureServer server_;
    TestHome home_;
};

void ExpectRecord(const TorrentRecord& record, const Row& row, int type, const std::string& base) {
    const std::string id = std::to_string(row.id);
    SCOPED_TRACE("row " + id);
    EXPECT_EQ(record.AddDate, DateOf(row));
    EXPECT_EQ(record.Name, "[wren]" + row.title);
    EXPECT_EQ(record.Addr0, base + "download.php?id=" + id);
    EXPECT_EQ(record.Addr1, "");
    EXPECT_EQ(record.Addr2, "");
    EXPECT_EQ(record.Addr3, "");
    EXPECT_EQ(record.WebAddr, base + "show.php?id=" + id);
    EXPECT_EQ(record.Type, type);
    EXPECT_EQ(record.Size, row.size);
    EXPECT_EQ(record.RefreshDate, DateOf(row));
    EXPECT_EQ(record.Seeds, row.seeds);
    EXPECT_EQ(record.Peers, row.peers);
    EXPECT_EQ(record.Comment, row.comment);
    EXPECT_EQ(record.bCompleted, 0);
    EXPECT_EQ(record.FileName, "");
    EXPECT_EQ(record.DownHd, 0);
    EXPECT_EQ(record.Bookmark, RecordBookmark{});
    EXPECT_EQ(record.DllID, 0);
    EXPECT_EQ(record.Reserved, 0);
}

TEST_F(WrenPlugin, FetchesBothSlotsPageByPageAndRemembersTheNewestDate) {
    const std::string base = server_.Url("/");
    const OleDate taken1 = DateOf(MakeRow(0, 6, 14, 8, 0));
    const OleDate taken2 = DateOf(MakeRow(0, 6, 10, 0, 0));
    std::ofstream(home_.IniPath())
        << "[Site_wren.so]\nBase=" << base << "\nCharset=GBK\n"
        << "[RefreshDate_wren.so]\n31=" << FormatRefreshValue(taken1.m_dt)
        << "\n32=" << FormatRefreshValue(taken2.m_dt) << "\n";
    // (3,1): page 1 all new, page 2 new and old, page 3 nothing newer.
    const std::vector<Row> p1 = {MakeRow(11, 6, 15, 11, 30), MakeRow(12, 6, 15, 9, 0),
                                 MakeRow(13, 6, 14, 23, 59)};
    const std::vector<Row> p2 = {MakeRow(21, 6, 14, 8, 1), MakeRow(22, 6, 14, 8, 0),
                                 MakeRow(23, 6, 13, 0, 0)};
    ServePage(server_, 1, 1, p1);
    ServePage(server_, 1, 2, p2);
    ServePage(server_, 1, 3, {MakeRow(31, 6, 12, 0, 0)});
    // (3,2): one page of new rows, then a page without rows.
    const std::vector<Row> q1 = {MakeRow(41, 6, 15, 10, 0), MakeRow(42, 6, 11, 7, 7)};
    ServePage(server_, 2, 1, q1);
    ServePage(server_, 2, 2, {});

    {
        LoadedPlugin plugin(home_.Kernel() / "wren.so");
        ASSERT_TRUE(plugin.Loaded());
        const RunResult first = Run(plugin, 3, 1);
        ASSERT_EQ(first.rows.size(), 4u);
        for (size_t i = 0; i < p1.size(); ++i) {
            ExpectRecord(first.rows[i], p1[i], 3 * 256 + 1, base);
        }
        ExpectRecord(first.rows[3], p2[0], 3 * 256 + 1, base);

        const RunResult second = Run(plugin, 3, 2);
        ASSERT_EQ(second.rows.size(), 2u);
        ExpectRecord(second.rows[0], q1[0], 3 * 256 + 2, base);
        ExpectRecord(second.rows[1], q1[1], 3 * 256 + 2, base);

        EXPECT_EQ(
            server_.Targets(),
            (std::vector<std::string>{ListingTarget(1, 1), ListingTarget(1, 2), ListingTarget(1, 3),
                                      ListingTarget(2, 1), ListingTarget(2, 2)}));
        for (const auto& request : server_.Requests()) {
            EXPECT_EQ(request.Header("referer"), base);
        }
        EXPECT_EQ(plugin->StopAll(), 1);
    }

    const std::string ini = home_.ReadIni();
    EXPECT_NE(ini.find("31=" + FormatRefreshValue(DateOf(p1[0]).m_dt)), std::string::npos) << ini;
    EXPECT_NE(ini.find("32=" + FormatRefreshValue(DateOf(q1[0]).m_dt)), std::string::npos) << ini;
    EXPECT_NE(ini.find("Base=" + base), std::string::npos) << "other keys survive";

    // Loaded again, the plug-in starts from the remembered dates.
    server_.ClearRequests();
    LoadedPlugin again(home_.Kernel() / "wren.so");
    EXPECT_TRUE(Run(again, 3, 1).rows.empty());
    EXPECT_EQ(server_.Targets(), std::vector<std::string>{ListingTarget(1, 1)});
}

TEST_F(WrenPlugin, RegistryNameFollowsTheFolderUnderKernel) {
    std::filesystem::create_directories(home_.Kernel() / "mirror");
    std::filesystem::copy_file(home_.Kernel() / "wren.so", home_.Kernel() / "mirror/wren.so");
    home_.WriteSite(server_.Url("/"), "mirror/wren.so");
    ServePage(server_, 1, 1, {MakeRow(1, 6, 15, 1, 0)});
    {
        LoadedPlugin plugin(home_.Kernel() / "mirror/wren.so");
        ASSERT_TRUE(plugin.Loaded());
        EXPECT_EQ(Run(plugin, 3, 1).rows.size(), 1u) << "the base address came from its section";
    }
    const std::string ini = home_.ReadIni();
    EXPECT_NE(ini.find("[RefreshDate_mirror/wren.so]"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("[RefreshDate_wren.so]"), std::string::npos) << ini;
}

TEST_F(WrenPlugin, NeutralAnswersAndTheCommentAsHtml) {
    LoadedPlugin plugin(home_.Kernel() / "wren.so");
    ASSERT_TRUE(plugin.Loaded());
    TorrentRecordArray untouched(1);
    TorrentRecord record;
    record.Addr0 = "http://wren.example/download.php?id=1";
    for (const int handle : {0, 1, 5}) {
        record.DownHd = handle;
        EXPECT_EQ(plugin->GetDownTFileStatus(&record), -1);
        EXPECT_EQ(plugin->StopDownTFile(&record), 1);
    }
    record.FileName = "a";
    EXPECT_EQ(plugin->StartDownTFile(&record), 0);
    EXPECT_EQ(plugin->StartSearch("abc"), kNoSearch);
    EXPECT_EQ(plugin->GetSearchStatus(12345), 100);
    EXPECT_EQ(plugin->GetSearchData(12345, &untouched), 0);
    EXPECT_EQ(plugin->StopSearch(12345), 1);
    EXPECT_EQ(plugin->GetDownPageStatus(1, 1), 100);
    EXPECT_EQ(plugin->GetDownPageData(1, 1, &untouched), 1);
    EXPECT_EQ(untouched.size(), 1u);

    char* buffer = nullptr;
    int length = 0;
    record.Comment = "简介<br>1280x720";
    EXPECT_EQ(plugin->WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length), 1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(buffer), record.Comment);
    EXPECT_EQ(length, static_cast<int>(record.Comment.size() + 1));
    std::free(buffer);

    record.Comment.clear();
    buffer = nullptr;
    plugin->WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(length, 1);
    std::free(buffer);
}

}  // namespace
