#include "download_tasks.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "task_home.h"

namespace {

constexpr int64_t kNow = 1700000000;

// Unix time of a local date-time, so the day arithmetic holds in any zone.
time_t LocalTime(int year, int month, int day, int hour, int minute = 0) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_isdst = -1;
    return mktime(&fields);
}

void Touch(const std::string& strPath, time_t modified = 0) {
    std::ofstream(strPath) << "x";
    if (modified != 0) {
        const timespec times[2] = {{modified, 0}, {modified, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, strPath.c_str(), times, 0), 0);
    }
}

class DownloadTasksTest : public ::testing::Test {
  protected:
    explicit DownloadTasksTest(int nPlugins = 1, int nMaxDownTasks = 2)
        : home(nPlugins, nMaxDownTasks),
          config(std::make_unique<CGlobalConfig>(home.GlobalIni(), [this] { return now; })),
          host(std::make_unique<PluginHost>(home.Dir())),
          tasks(std::make_unique<CDownloadTasks>(*host, *config, [this] { return now; })) {}

    ~DownloadTasksTest() override {
        tasks.reset();
        host.reset();
        config.reset();
    }

    std::vector<uint8_t> States() const {
        std::vector<uint8_t> states;
        for (size_t i = 0; i < tasks->GetCount(); ++i) {
            states.push_back(CDownloadTasks::GetState(tasks->GetTask(i)));
        }
        return states;
    }

    CCategoryNode& Leaf(size_t nCategory, size_t nLeaf) {
        return *config->GetRoot().GetChild(nCategory)->GetChild(nLeaf);
    }

    // Stores the entry in the leaf's table and answers it as read back, with
    // its bookmark.
    TorrentRecord StoreEntry(CCategoryNode& leaf, const TorrentRecord& entry) {
        EXPECT_TRUE(leaf.m_Table.InsertBatch({entry}));
        TorrentRecord stored;
        EXPECT_TRUE(leaf.m_Table.MoveFirst());
        EXPECT_TRUE(leaf.m_Table.ReadNext(stored));
        return stored;
    }

    int64_t now = kNow;
    TaskHome home;
    std::unique_ptr<CGlobalConfig> config;
    std::unique_ptr<PluginHost> host;
    std::unique_ptr<CDownloadTasks> tasks;
};

TEST_F(DownloadTasksTest, LimitKeepsTheThirdTaskWaitingUntilASlotFrees) {
    std::vector<std::string> completed;
    tasks->SetCompletedCallback([&](const TorrentRecord& task) { completed.push_back(task.Name); });

    tasks->AddTask(MakeEntry("first", "polls:1"));
    tasks->AddTask(MakeEntry("second", "polls:5"));
    const CDownloadTasks::AddResult third = tasks->AddTask(MakeEntry("third", "polls:0"));
    EXPECT_EQ(States(), (std::vector<uint8_t>{0, 0, CDownloadTasks::kWaiting}));
    EXPECT_EQ(CDownloadTasks::GetStateIcon(tasks->GetTask(2)), 4);
    EXPECT_EQ(CDownloadTasks::GetPercentText(tasks->GetTask(2)), "0%");
    EXPECT_EQ(tasks->GetTask(2).FileName, "") << "a waiting task has no file yet";

    // Adding an entry again only finds its task.
    const CDownloadTasks::AddResult again = tasks->AddTask(MakeEntry("third again", "polls:0"));
    EXPECT_FALSE(again.bAdded);
    EXPECT_EQ(again.nIndex, third.nIndex);
    EXPECT_EQ(tasks->GetCount(), 3u);

    tasks->Poll();
    EXPECT_EQ(States(), (std::vector<uint8_t>{50, 50, CDownloadTasks::kWaiting}));
    EXPECT_EQ(CDownloadTasks::GetPercentText(tasks->GetTask(0)), "50%");

    // The first ends, and in the same pass the third takes its slot.
    tasks->Poll();
    EXPECT_EQ(States(), (std::vector<uint8_t>{CDownloadTasks::kCompleted, 50, 0}));
    EXPECT_EQ(tasks->GetTask(0).DownHd, 0);
    EXPECT_EQ(tasks->GetRunningCount(), 2);
    EXPECT_EQ(completed, std::vector<std::string>{"first"});

    tasks->Poll();
    EXPECT_EQ(States(),
              (std::vector<uint8_t>{CDownloadTasks::kCompleted, 50, CDownloadTasks::kCompleted}));
    EXPECT_EQ(completed, (std::vector<std::string>{"first", "third"}));
    EXPECT_TRUE(tasks->TorrentFileExists(tasks->GetTask(0)));
    EXPECT_TRUE(tasks->TorrentFileExists(tasks->GetTask(2)));
    EXPECT_FALSE(std::filesystem::exists(home.Torrents() + "first.tmp"));

    // Deleting a running task ends its plug-in task and releases its lock.
    ASSERT_TRUE(std::filesystem::exists(home.Torrents() + "second.tmp"));
    tasks->DeleteTask(1);
    EXPECT_FALSE(std::filesystem::exists(home.Torrents() + "second.tmp"));
    EXPECT_EQ(tasks->GetRunningCount(), 0);
    EXPECT_FALSE(tasks->HasPendingTasks());
}

TEST_F(DownloadTasksTest, RefusedAndFailedDownloads) {
    // A refused start leaves the new task stopped.
    tasks->AddTask(MakeEntry("refused", "refuse"));
    EXPECT_EQ(States(), std::vector<uint8_t>{CDownloadTasks::kStopped});

    // A failed download ends its plug-in task; a new start runs again.
    tasks->AddTask(MakeEntry("broken", "polls:0:fail"));
    tasks->Poll();
    const TorrentRecord& failed = tasks->GetTask(1);
    EXPECT_EQ(CDownloadTasks::GetState(failed), CDownloadTasks::kFailed);
    EXPECT_EQ(CDownloadTasks::GetStateIcon(failed), 1);
    EXPECT_EQ(CDownloadTasks::GetPercentText(failed), "0%");
    EXPECT_EQ(failed.DownHd, 0);
    EXPECT_FALSE(tasks->HasPendingTasks());
    EXPECT_TRUE(tasks->StartTask(1));
    EXPECT_EQ(CDownloadTasks::GetState(tasks->GetTask(1)), 0);

    // Stopping makes it stopped (101) and frees the slot.
    tasks->StopTask(1);
    EXPECT_EQ(CDownloadTasks::GetState(tasks->GetTask(1)), CDownloadTasks::kStopped);
    EXPECT_EQ(tasks->GetRunningCount(), 0);
}

class OneSlotTest : public DownloadTasksTest {
  protected:
    OneSlotTest() : DownloadTasksTest(1, 1) {}
};

TEST_F(OneSlotTest, WaitingTaskRefusedByThePluginIsTriedAgainAtTheNextPoll) {
    tasks->AddTask(MakeEntry("a", "polls:0#a"));
    tasks->AddTask(MakeEntry("b", "polls:0#b"));
    home.Script(0)->nRefuseStarts = 1;
    tasks->Poll();
    EXPECT_EQ(States(),
              (std::vector<uint8_t>{CDownloadTasks::kCompleted, CDownloadTasks::kWaiting}));
    tasks->Poll();
    EXPECT_EQ(States(), (std::vector<uint8_t>{CDownloadTasks::kCompleted, 0}));
    tasks->Poll();
    EXPECT_EQ(States(),
              (std::vector<uint8_t>{CDownloadTasks::kCompleted, CDownloadTasks::kCompleted}));
}

TEST_F(DownloadTasksTest, CompletionRecordsTheFileNameInTheRowAndOpensWhenAsked) {
    CCategoryNode& leaf = Leaf(1, 2);
    TorrentRecord entry = StoreEntry(leaf, MakeEntry("[heron] Catalogue/Entry", "polls:0", 0x0102));
    entry.Reserved = 1;
    std::vector<std::pair<std::string, std::string>> opened;
    bool bOpenerAnswers = true;
    tasks->SetFileOpener([&](const std::string& strPath, const std::string& strDir) {
        opened.emplace_back(strPath, strDir);
        return bOpenerAnswers;
    });
    std::vector<CDownloadTasks::OpenResult> openFailures;
    tasks->SetOpenFailedCallback([&](CDownloadTasks::OpenResult result, const TorrentRecord&) {
        openFailures.push_back(result);
    });

    tasks->AddTask(entry);
    tasks->Poll();
    const TorrentRecord& task = tasks->GetTask(0);
    ASSERT_EQ(CDownloadTasks::GetState(task), CDownloadTasks::kCompleted);
    EXPECT_EQ(task.FileName, "[heron] CatalogueEntry");
    EXPECT_EQ(opened, (std::vector<std::pair<std::string, std::string>>{
                          {home.Torrents() + "[heron] CatalogueEntry.torrent", home.Torrents()}}));
    EXPECT_TRUE(openFailures.empty());

    TorrentRecord stored;
    ASSERT_TRUE(leaf.m_Table.MoveFirst());
    ASSERT_TRUE(leaf.m_Table.ReadNext(stored));
    EXPECT_EQ(stored.FileName, task.FileName);

    // A site result (Type 0) touches no table; a handler that fails is
    // reported, as is opening a file that is gone.
    bOpenerAnswers = false;
    TorrentRecord siteEntry = MakeEntry("site result", "polls:0#site");
    siteEntry.Reserved = 1;
    tasks->AddTask(siteEntry);
    tasks->Poll();
    EXPECT_EQ(openFailures,
              std::vector<CDownloadTasks::OpenResult>{CDownloadTasks::OpenResult::kNoHandler});
    std::filesystem::remove(tasks->GetTorrentPath(tasks->GetTask(1)));
    EXPECT_EQ(tasks->OpenTorrentFile(tasks->GetTask(1)), CDownloadTasks::OpenResult::kMissing);
    ASSERT_TRUE(leaf.m_Table.MoveFirst());
    ASSERT_TRUE(leaf.m_Table.ReadNext(stored));
    EXPECT_EQ(stored.FileName, task.FileName);
}

TEST_F(DownloadTasksTest, FileNames) {
    EXPECT_EQ(tasks->MakeFileName(MakeEntry("a/b:c*d", "x")), "abcd");
    EXPECT_EQ(tasks->MakeFileName(MakeEntry("  <spaced?> \t", "x")), "spaced");
    EXPECT_EQ(tasks->MakeFileName(MakeEntry(" \\/:*?\"<>| ", "x")), "123");

    // A taken name, or one whose download holds its lock, gets the first
    // free number above the clock.
    Touch(home.Torrents() + "abcd.torrent");
    EXPECT_EQ(tasks->MakeFileName(MakeEntry("a/b:c*d", "x")), "abcd1700000001");
    Touch(home.Torrents() + "abcd1700000001.tmp");
    EXPECT_EQ(tasks->MakeFileName(MakeEntry("a/b:c*d", "x")), "abcd1700000002");

    // A long name is cut between characters so name, number and extension
    // fit in one directory entry.
    std::string strLong;
    for (int i = 0; i < 120; ++i) {
        strLong += "中";
    }
    const std::string strCut = tasks->MakeFileName(MakeEntry(strLong, "x"));
    EXPECT_LE(strCut.size() + 8, size_t{NAME_MAX});
    EXPECT_EQ(strCut.size() % 3, 0u);
    EXPECT_EQ(strLong.compare(0, strCut.size(), strCut), 0);
    Touch(home.Torrents() + strCut + ".torrent");
    const std::string strNumbered = tasks->MakeFileName(MakeEntry(strLong, "x"));
    ASSERT_TRUE(strNumbered.ends_with("1700000001"));
    EXPECT_LE(strNumbered.size() + 8, size_t{NAME_MAX});
    EXPECT_EQ((strNumbered.size() - 10) % 3, 0u);
    Touch(home.Torrents() + strNumbered + ".torrent");
    EXPECT_TRUE(std::filesystem::exists(home.Torrents() + strNumbered + ".torrent"));

    // Without a FileName an entry has no file, even when ".torrent" exists.
    Touch(home.Torrents() + ".torrent");
    EXPECT_FALSE(tasks->TorrentFileExists(MakeEntry("", "x")));
}

TEST(CleanTorrentFolderAge, CountsLocalMidnightsBetween) {
    const time_t morning = LocalTime(2024, 3, 10, 8);
    EXPECT_EQ(CDownloadTasks::AgeInDays(LocalTime(2024, 3, 10, 0), morning), 0);
    EXPECT_EQ(CDownloadTasks::AgeInDays(LocalTime(2024, 3, 9, 23, 59), morning), 1);
    EXPECT_EQ(CDownloadTasks::AgeInDays(LocalTime(2024, 3, 7, 9), morning), 3);
    EXPECT_EQ(CDownloadTasks::AgeInDays(LocalTime(2024, 2, 28, 12), LocalTime(2024, 3, 1, 1)), 2);
    EXPECT_EQ(CDownloadTasks::AgeInDays(LocalTime(2024, 3, 12, 8), morning), 0);
}

TEST_F(DownloadTasksTest, CleanTorrentFolderByAge) {
    now = LocalTime(2024, 3, 10, 8);
    const std::vector<std::pair<std::string, time_t>> files = {
        {"today", LocalTime(2024, 3, 10, 1)},   {"yesterday", LocalTime(2024, 3, 9, 22)},
        {"three", LocalTime(2024, 3, 7, 12)},   {"ten", LocalTime(2024, 2, 29, 12)},
        {"future", LocalTime(2024, 3, 15, 12)},
    };
    const auto layOut = [&] {
        for (const auto& [strName, modified] : files) {
            Touch(home.Torrents() + strName + ".torrent", modified);
        }
        std::filesystem::create_directories(home.Torrents() + "folder");
    };
    const auto remaining = [&] {
        std::vector<std::string> names;
        for (const auto& [strName, modified] : files) {
            if (std::filesystem::exists(home.Torrents() + strName + ".torrent")) {
                names.push_back(strName);
            }
        }
        return names;
    };

    layOut();
    EXPECT_EQ(tasks->CleanTorrentFolder(3, false), 2);
    EXPECT_EQ(remaining(), (std::vector<std::string>{"today", "yesterday", "future"}));

    layOut();
    EXPECT_EQ(tasks->CleanTorrentFolder(1, true), 3);
    EXPECT_EQ(remaining(), (std::vector<std::string>{"three", "ten"}));

    layOut();
    EXPECT_EQ(tasks->CleanTorrentFolder(0, false), 5);
    EXPECT_TRUE(remaining().empty());
    EXPECT_TRUE(std::filesystem::is_directory(home.Torrents() + "folder"));
}

}  // namespace
