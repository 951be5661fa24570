// wren.so loaded from a temporary home and driven only through its exports.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "plugin_api.h"
#include "plugin_entry.h"
#include "run_helpers.h"
#include "site_context.h"
#include "test_home.h"

namespace {

using namespace run_helpers;
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
static_assert(sizeof(Exports) == sizeof(void*) * std::size(kPluginExportNames));

// Binds the exports in the host's order, then the test clock.
class LoadedPlugin {
  public:
    explicit LoadedPlugin(const std::filesystem::path& path)
        : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
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
        setClock(&FakeNow);
    }
    ~LoadedPlugin() {
        if (handle_ != nullptr) {
            dlclose(handle_);
        }
    }
    const Exports* operator->() const { return &exports_; }

    RunResult Run(int group, int index) const {
        EXPECT_EQ(exports_.StartDownPage(group, index), 1);
        RunResult run = PollUntilDone(
            [&] { return exports_.GetDownPageStatus(group, index); },
            [&](TorrentRecordArray* out) { exports_.GetDownPageData(group, index, out); });
        exports_.StopDownPage(group, index);
        return run;
    }

  private:
    void* handle_;
    Exports exports_{};
};

void ExpectRecord(const TorrentRecord& record, const Row& row, int type, const std::string& base) {
    const std::string id = std::to_string(row.id);
    SCOPED_TRACE("row " + id);
    EXPECT_EQ(record.AddDate, DateOf(row));
    EXPECT_EQ(record.RefreshDate, DateOf(row));
    EXPECT_EQ(record.Name, "[wren]" + row.title);
    EXPECT_EQ(record.Addr0, base + "download.php?id=" + id);
    EXPECT_EQ(record.Addr1 + record.Addr2 + record.Addr3, "");
    EXPECT_EQ(record.WebAddr, base + "show.php?id=" + id);
    EXPECT_EQ(record.Type, type);
    EXPECT_EQ(record.Size, row.size);
    EXPECT_EQ(record.Seeds, row.seeds);
    EXPECT_EQ(record.Peers, row.peers);
    EXPECT_EQ(record.Comment, row.comment);
    EXPECT_EQ(record.FileName, "");
    EXPECT_EQ(record.Bookmark, RecordBookmark{});
    EXPECT_EQ(record.bCompleted + record.DownHd + record.DllID + record.Reserved, 0);
}

class WrenPlugin : public ::testing::Test {
  protected:
    void SetUp() override {
        g_now = LocalSeconds(2024, 6, 15, 12, 0);
        std::filesystem::copy_file(WREN_PLUGIN_PATH, home_.Kernel() / "wren.so");
    }

    testing_support::FixtureServer server_;
    TestHome home_;
};

TEST_F(WrenPlugin, FetchesBothSlotsPageByPageAndRemembersTheNewestDate) {
    const std::string base = server_.Url("/");
    home_.WriteIni("[Site_wren.so]\nBase=" + base + "\nCharset=GBK\n[RefreshDate_wren.so]\n31=" +
                   FormatRefreshValue(DateOf(MakeRow(0, 6, 14, 8, 0)).m_dt) +
                   "\n32=" + FormatRefreshValue(DateOf(MakeRow(0, 6, 10, 0, 0)).m_dt) + "\n");
    // (3,1): page 1 all new, page 2 new and not newer, page 3 nothing newer.
    const std::vector<Row> p1 = {MakeRow(11, 6, 15, 11, 30), MakeRow(12, 6, 15, 9, 0),
                                 MakeRow(13, 6, 14, 23, 59)};
    const std::vector<Row> p2 = {MakeRow(21, 6, 14, 8, 1), MakeRow(22, 6, 14, 8, 0)};
    const std::vector<Row> q1 = {MakeRow(41, 6, 15, 10, 0), MakeRow(42, 6, 11, 7, 7)};
    ServePage(server_, 1, 1, p1);
    ServePage(server_, 1, 2, p2);
    ServePage(server_, 1, 3, {MakeRow(31, 6, 12, 0, 0)});
    ServePage(server_, 2, 1, q1);
    ServePage(server_, 2, 2, {});
    {
        const LoadedPlugin plugin(home_.Kernel() / "wren.so");
        const RunResult first = plugin.Run(3, 1);
        ASSERT_EQ(first.rows.size(), 4u);
        for (size_t i = 0; i < p1.size(); ++i) {
            ExpectRecord(first.rows[i], p1[i], 3 * 256 + 1, base);
        }
        ExpectRecord(first.rows[3], p2[0], 3 * 256 + 1, base);
        const RunResult second = plugin.Run(3, 2);
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
    }
    const std::string ini = home_.ReadIni();
    EXPECT_TRUE(Contains(ini, "31=" + FormatRefreshValue(DateOf(p1[0]).m_dt))) << ini;
    EXPECT_TRUE(Contains(ini, "32=" + FormatRefreshValue(DateOf(q1[0]).m_dt))) << ini;

    // Loaded again, the plug-in starts from the remembered dates: the row
    // that set a date is not newer than it after the trip through the file.
    server_.ClearRequests();
    const LoadedPlugin again(home_.Kernel() / "wren.so");
    EXPECT_TRUE(again.Run(3, 1).rows.empty());
    EXPECT_EQ(server_.Targets(), std::vector<std::string>{ListingTarget(1, 1)});
}

TEST_F(WrenPlugin, RegistryNameFollowsTheFolderUnderKernel) {
    std::filesystem::create_directories(home_.Kernel() / "mirror");
    std::filesystem::rename(home_.Kernel() / "wren.so", home_.Kernel() / "mirror/wren.so");
    home_.WriteIni("[Site_mirror/wren.so]\nBase=" + server_.Url("/") + "\n");
    ServePage(server_, 1, 1, {MakeRow(1, 6, 15, 1, 0)});
    LoadedPlugin(home_.Kernel() / "mirror/wren.so").Run(3, 1);
    EXPECT_TRUE(
        Contains(home_.ReadIni(), "[RefreshDate_mirror/wren.so]\n31=" +
                                      FormatRefreshValue(DateOf(MakeRow(1, 6, 15, 1, 0)).m_dt)))
        << home_.ReadIni();
}

TEST_F(WrenPlugin, NeutralAnswersAndTheCommentAsHtml) {
    const LoadedPlugin plugin(home_.Kernel() / "wren.so");
    TorrentRecordArray untouched(1);
    TorrentRecord record;
    record.FileName = "a";
    for (const int handle : {0, 1, 5}) {
        record.DownHd = handle;
        EXPECT_EQ(plugin->GetDownTFileStatus(&record), -1);
    }
    EXPECT_EQ(plugin->StartDownTFile(&record), 0);
    EXPECT_EQ(plugin->GetSearchStatus(12345), 100);
    EXPECT_EQ(plugin->GetSearchData(12345, &untouched), 0);
    EXPECT_EQ(plugin->GetDownPageStatus(1, 1), 100);
    EXPECT_EQ(plugin->GetDownPageStatus(3, 1), 100) << "never started";
    EXPECT_EQ(plugin->GetDownPageData(1, 1, &untouched), 1);
    EXPECT_EQ(untouched.size(), 1u);

    char* buffer = nullptr;
    int length = 0;
    plugin->WebIOCtl(&record, 1, 0, 0, &buffer, 0, &length);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(length, 1) << "an empty comment is a one-byte text";
    std::free(buffer);
}

}  // namespace
