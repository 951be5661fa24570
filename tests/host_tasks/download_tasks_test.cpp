#include "download_tasks.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "task_home.h"

namespace {

using States = std::vector<uint8_t>;
constexpr uint8_t kDone = CDownloadTasks::kCompleted;
constexpr uint8_t kWait = CDownloadTasks::kWaiting;

void Touch(const std::string& strPath, time_t modified = 0) {
    std::ofstream(strPath) << "x";
    const timespec times[2] = {{modified, 0}, {modified, 0}};
    ASSERT_TRUE(modified == 0 || utimensat(AT_FDCWD, strPath.c_str(), times, 0) == 0);
}

class DownloadTasksTest : public ::testing::Test {
  protected:
    DownloadTasksTest()
        : home(1),
          config(std::make_unique<CGlobalConfig>(home.GlobalIni())),
          host(std::make_unique<PluginHost>(home.Dir())),
          tasks(std::make_unique<CDownloadTasks>(*host, *config, [this] { return now; })) {}
    ~DownloadTasksTest() override {
        tasks.reset();
        host.reset();
    }

    States GetStates() const {
        States states;
        for (size_t i = 0; i < tasks->GetCount(); ++i) {
            states.push_back(CDownloadTasks::GetState(tasks->GetTask(i)));
        }
        return states;
    }

    int64_t now = 1700000000;
    TaskHome home;
    std::unique_ptr<CGlobalConfig> config;
    std::unique_ptr<PluginHost> host;
    std::unique_ptr<CDownloadTasks> tasks;
};

TEST_F(DownloadTasksTest, TwoSlotsThreeTasks) {
    std::vector<std::string> completed;
    tasks->SetCompletedCallback([&](const TorrentRecord& task) { completed.push_back(task.Name); });
    tasks->AddTask(MakeEntry("first", "polls:1"));
    tasks->AddTask(MakeEntry("second", "polls:5"));
    tasks->AddTask(MakeEntry("third", "polls:0"));
    EXPECT_EQ(GetStates(), (States{0, 0, kWait}));
    EXPECT_EQ(CDownloadTasks::GetStateIcon(tasks->GetTask(2)), 4);
    EXPECT_EQ(CDownloadTasks::GetPercentText(tasks->GetTask(2)), "0%");
    EXPECT_FALSE(tasks->AddTask(MakeEntry("third again", "polls:0")).bAdded);

    tasks->Poll();
    EXPECT_EQ(GetStates(), (States{50, 50, kWait}));
    // The first ends, and in the same pass the third takes its slot.
    tasks->Poll();
    EXPECT_EQ(GetStates(), (States{kDone, 50, 0}));
    tasks->Poll();
    EXPECT_EQ(GetStates(), (States{kDone, 50, kDone}));
    EXPECT_EQ(completed, (std::vector<std::string>{"first", "third"}));
    EXPECT_TRUE(tasks->TorrentFileExists(tasks->GetTask(0)));
    EXPECT_FALSE(std::filesystem::exists(home.Torrents() + "first.tmp"));

    // Deleting a running task ends its plug-in task, which drops its lock.
    tasks->DeleteTask(1);
    EXPECT_FALSE(std::filesystem::exists(home.Torrents() + "second.tmp"));
    EXPECT_FALSE(tasks->HasPendingTasks());
}

TEST_F(DownloadTasksTest, RefusedFailedAndRestartedTasks) {
    config->Settings().nMaxDownTasks = 1;
    tasks->AddTask(MakeEntry("refused", "refuse"));
    tasks->AddTask(MakeEntry("broken", "polls:0:fail"));
    tasks->AddTask(MakeEntry("late", "polls:0"));
    EXPECT_EQ(GetStates(), (States{CDownloadTasks::kStopped, 0, kWait}));

    // A waiting task that the plug-in refuses is tried again at every poll.
    home.Script(0)->nRefuseStarts = 1;
    tasks->Poll();
    EXPECT_EQ(GetStates(), (States{CDownloadTasks::kStopped, CDownloadTasks::kFailed, kWait}));
    EXPECT_EQ(tasks->GetTask(1).DownHd, 0);
    tasks->Poll();
    tasks->Poll();
    EXPECT_EQ(GetStates(), (States{CDownloadTasks::kStopped, CDownloadTasks::kFailed, kDone}));

    EXPECT_TRUE(tasks->StartTask(1));
    EXPECT_EQ(CDownloadTasks::GetState(tasks->GetTask(1)), 0);
    tasks->StopTask(1);
    EXPECT_EQ(CDownloadTasks::GetState(tasks->GetTask(1)), CDownloadTasks::kStopped);
    EXPECT_EQ(tasks->GetRunningCount(), 0);
}

TEST_F(DownloadTasksTest, CompletionRecordsTheFileNameInTheRowAndOpensWhenAsked) {
    CCategoryNode& leaf = *config->GetRoot().GetChild(1)->GetChild(2);
    ASSERT_TRUE(leaf.m_Table.InsertBatch({MakeEntry("[heron] Some/Entry", "polls:0", 0x0102)}));
    TorrentRecord entry;
    ASSERT_TRUE(leaf.m_Table.MoveFirst() && leaf.m_Table.ReadNext(entry));
    entry.Reserved = 1;
    std::vector<std::string> opened;
    bool bOpenerAnswers = true;
    tasks->SetFileOpener([&](const std::string& strPath, const std::string& strDir) {
        opened.push_back(strPath + " in " + strDir);
        return bOpenerAnswers;
    });
    std::vector<CDownloadTasks::OpenResult> failures;
    tasks->SetOpenFailedCallback([&](CDownloadTasks::OpenResult result, const TorrentRecord&) {
        failures.push_back(result);
    });

    tasks->AddTask(entry);
    tasks->Poll();
    const std::string strTorrents = home.Torrents();
    EXPECT_EQ(opened, std::vector<std::string>{strTorrents + "[heron] SomeEntry.torrent in " +
                                               strTorrents});
    TorrentRecord stored;
    ASSERT_TRUE(leaf.m_Table.MoveFirst() && leaf.m_Table.ReadNext(stored));
    EXPECT_EQ(stored.FileName, "[heron] SomeEntry");

    // A site result (Type 0) has no row; a failing handler is reported.
    bOpenerAnswers = false;
    TorrentRecord siteEntry = MakeEntry("site", "polls:0#site");
    siteEntry.Reserved = 1;
    tasks->AddTask(siteEntry);
    tasks->Poll();
    EXPECT_EQ(failures, std::vector{CDownloadTasks::OpenResult::kNoHandler});
    EXPECT_EQ(GetStates(), (States{kDone, kDone}));

    // A row that no longer holds the entry does not take the file name; the
    // table keeps it and says so.
    TorrentRecord changed = entry;
    changed.Name = "renamed";
    changed.Addr0 = "polls:0#renamed";
    changed.Reserved = 0;
    tasks->AddTask(changed);
    tasks->Poll();
    tasks->Poll();
    EXPECT_EQ(tasks->GetUnrecordedCount(), 1u);
}

TEST_F(DownloadTasksTest, FileNames) {
    const auto nameOf = [&](const std::string& strName) {
        return tasks->MakeFileName(MakeEntry(strName, "x"));
    };
    EXPECT_EQ(nameOf(" a/b:c*d\t"), "abcd");
    EXPECT_EQ(nameOf(" <?> "), "123");
    EXPECT_EQ(nameOf("\x1b[31mred\r\nline\x7f\u009b2J end"), "[31mredline2J end");
    Touch(home.Torrents() + "abcd.torrent");
    EXPECT_EQ(nameOf("a/b:c*d"), "abcd1700000001");
    Touch(home.Torrents() + "abcd1700000001.tmp");
    EXPECT_EQ(nameOf("a/b:c*d"), "abcd1700000002");

    // Name, number and the longest suffix written fit in one directory
    // entry, cut between characters.
    std::string strLong;
    for (int i = 0; i < 120; ++i) {
        strLong += "中";
    }
    const std::string strCut = nameOf(strLong);
    EXPECT_EQ(strCut, strLong.substr(0, 240));
    EXPECT_EQ(nameOf(std::string(300, 'x')), std::string(242, 'x'));
    Touch(home.Torrents() + strCut + ".torrent.part");
    EXPECT_TRUE(std::filesystem::exists(home.Torrents() + strCut + ".torrent.part"));
    Touch(home.Torrents() + strCut + ".torrent");
    EXPECT_EQ(nameOf(strLong), strLong.substr(0, 231) + "1700000001");
    Touch(home.Torrents() + nameOf(strLong) + ".torrent.part");
    EXPECT_TRUE(std::filesystem::exists(home.Torrents() + strCut.substr(0, 231) +
                                        "1700000001.torrent.part"));

    // Without a FileName an entry has no file, even when ".torrent" exists.
    Touch(home.Torrents() + ".torrent");
    EXPECT_FALSE(tasks->TorrentFileExists(MakeEntry("", "x")));
}

TEST_F(DownloadTasksTest, PruningCountsWholeDaysOfSeconds) {
    now = 1700000000;
    const std::vector<std::pair<std::string, time_t>> files = {{"fresh", now - 86399},
                                                               {"one", now - 86400},
                                                               {"three", now - 3 * 86400 - 5},
                                                               {"future", now + 5 * 86400}};
    const auto clean = [&](int nDays, bool bNewer) {
        for (const auto& [strName, modified] : files) {
            Touch(home.Torrents() + strName, modified);
        }
        std::filesystem::create_directories(home.Torrents() + "folder");
        tasks->CleanTorrentFolder(nDays, bNewer);
        std::vector<std::string> kept;
        for (const auto& [strName, modified] : files) {
            if (std::filesystem::exists(home.Torrents() + strName)) {
                kept.push_back(strName);
            }
        }
        return kept;
    };
    EXPECT_EQ(clean(1, false), (std::vector<std::string>{"fresh", "future"}));
    EXPECT_EQ(clean(3, false), (std::vector<std::string>{"fresh", "one", "future"}));
    EXPECT_EQ(clean(0, true), (std::vector<std::string>{"one", "three"}));
    EXPECT_TRUE(clean(0, false).empty());
    EXPECT_TRUE(std::filesystem::is_directory(home.Torrents() + "folder"));
}

// Clear Data while downloads run: their lock and part files stay, and a
// second entry of the same name cannot take the first one's file.
TEST_F(DownloadTasksTest, PruningSparesRunningDownloads) {
    tasks->AddTask(MakeEntry("same", "polls:5"));
    ASSERT_TRUE(std::filesystem::exists(home.Torrents() + "same.tmp"));
    // Another process's download holds its lock.
    Touch(home.Torrents() + "other.tmp");
    Touch(home.Torrents() + "other.torrent.part");
    const int held = open((home.Torrents() + "other.tmp").c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    for (const char* strName : {"old.torrent", "stale.tmp", "stale.torrent.part"}) {
        Touch(home.Torrents() + strName);
    }

    EXPECT_EQ(tasks->CleanTorrentFolder(0, false), 3);
    std::vector<std::string> kept;
    for (const auto& file : std::filesystem::directory_iterator(home.Torrents())) {
        kept.push_back(file.path().filename().string());
    }
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"other.tmp", "other.torrent.part", "same.tmp"}));
    close(held);

    std::filesystem::remove(home.Torrents() + "same.tmp");
    tasks->AddTask(MakeEntry("same", "polls:5#again"));
    EXPECT_EQ(tasks->GetTask(1).FileName, "same1700000001");
}

}  // namespace
