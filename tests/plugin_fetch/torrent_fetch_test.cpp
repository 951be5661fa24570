// Torrent-file tasks: the lock file, handles, what is saved, stalls.
#include <sys/file.h>
#include <unistd.h>

#include <fcntl.h>

#include "fetch_support.h"
#include "fixture_server.h"

namespace {

using fetch_support::FetchToEnd;
using fetch_support::g_now;
using fetch_support::Home;
using testing_support::FixtureReply;
using testing_support::FixtureServer;

// A torrent with bytes a text transfer would mangle; `name` tells files apart.
std::string Torrent(const std::string& name = "x") {
    return "d8:announce9:http://t/4:infod6:lengthi3e4:name" + std::to_string(name.size()) + ":" +
           name + "6:pieces4:" + std::string("\0\r\n\xff", 4) + "ee";
}
const std::string kTorrent = Torrent();

FixtureReply Reply(std::string body, int status = 200) {
    FixtureReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.contentType = "application/x-bittorrent";
    return reply;
}

class FileTasks : public ::testing::Test {
  protected:
    void Load(TorrentFetch fetch, int stallSeconds = 30) {
        site_.tag = "test";
        site_.defaultCharset = "GBK";
        site_.fetch = fetch;
        site_.fetchStallSeconds = stallSeconds;
        site_.linkPattern = R"pat(<a\bhref="\.\./({down\.asp\?id=\d+&no=})\d+")pat";
        manager_ =
            std::make_unique<PluginManager>(site_, home_.Location(), &fetch_support::FakeNow);
    }
    TorrentRecord Record(const std::string& fileName, const std::string& path) const {
        TorrentRecord record;
        record.FileName = fileName;
        record.Addr0 = server_.Url(path);
        return record;
    }
    int Start(TorrentRecord& record) {
        record.DownHd = manager_->StartDownTFile(&record);
        return record.DownHd;
    }

    FixtureServer server_;
    Home home_{"Base=" + server_.Url("/") + "\n"};
    SiteData site_;
    std::unique_ptr<PluginManager> manager_;
};

TEST_F(FileTasks, OneFetchPerFileNameAndHandlesAreNeverGivenTwice) {
    FixtureReply hanging = Reply(kTorrent);
    hanging.stallAfterBytes = 0;
    server_.Route("/slow.torrent", hanging);
    server_.Route("/b.torrent", Reply(kTorrent));
    Load(TorrentFetch::kDirect);

    TorrentRecord first = Record("x", "/slow.torrent");
    EXPECT_EQ(Start(first), 1);
    EXPECT_EQ(home_.TorrentFiles(), std::vector<std::string>{"x.tmp"});
    TorrentRecord second = Record("x", "/b.torrent");
    EXPECT_EQ(Start(second), 0) << "the lock is taken";

    TorrentRecord other = first;
    other.Addr0 = server_.Url("/b.torrent");
    EXPECT_EQ(manager_->GetDownTFileStatus(&other), -1) << "the handle fetches another address";
    EXPECT_EQ(manager_->GetDownTFileStatus(&first), 0);
    manager_->StopDownTFile(&other);
    EXPECT_EQ(manager_->GetDownTFileStatus(&first), 0) << "a stop with another address is ignored";

    manager_->StopDownTFile(&first);
    EXPECT_TRUE(home_.TorrentFiles().empty()) << "the stop releases the lock";
    EXPECT_EQ(manager_->GetDownTFileStatus(&first), -1);

    EXPECT_EQ(Start(second), 2);
    EXPECT_EQ(FetchToEnd(*manager_, second), 100);
    EXPECT_EQ(home_.TorrentFiles(), std::vector<std::string>{"x.torrent"});
    EXPECT_EQ(home_.Read("x.torrent"), kTorrent);

    // A start on a finished task changes nothing.
    EXPECT_EQ(manager_->StartDownTFile(&second), 2);
    EXPECT_EQ(manager_->GetDownTFileStatus(&second), 100);
    const auto targets = server_.Targets();
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "/b.torrent"), 1)
        << "neither the refused start nor the start of a finished task asked";

    manager_->StopAll();
    EXPECT_EQ(manager_->GetDownTFileStatus(&second), -1);
    TorrentRecord third = Record("y", "/b.torrent");
    EXPECT_EQ(Start(third), 3);
}

TEST_F(FileTasks, AnErrorPageIsNoTorrentAndAFailedTaskRunsAgain) {
    server_.Route("/gone", Reply(kTorrent, 404));
    Load(TorrentFetch::kDirect);

    TorrentRecord record = Record("x", "/t");
    for (const std::string& page : {std::string("<html><body>File not found</body></html>"),
                                    std::string("database error: too many connections"),
                                    kTorrent.substr(0, kTorrent.size() - 1), kTorrent + "\n"}) {
        server_.Route("/t", Reply(page));
        ASSERT_EQ(Start(record), 1) << "one task, started again after each failure";
        EXPECT_EQ(FetchToEnd(*manager_, record), -1) << page;
        EXPECT_TRUE(home_.TorrentFiles().empty());
        EXPECT_EQ(manager_->GetDownTFileStatus(&record), -1) << "failed stays failed";
    }

    server_.Route("/t", Reply(kTorrent));
    EXPECT_EQ(manager_->StartDownTFile(&record), 1) << "the same task starts again";
    EXPECT_EQ(FetchToEnd(*manager_, record), 100);
    EXPECT_EQ(home_.Read("x.torrent"), kTorrent);

    TorrentRecord gone = Record("y", "/gone");
    ASSERT_EQ(Start(gone), 2);
    EXPECT_EQ(FetchToEnd(*manager_, gone), -1);
    EXPECT_EQ(home_.TorrentFiles(), std::vector<std::string>{"x.torrent"});
}

TEST_F(FileTasks, AFileThatCannotBeWrittenFailsTheTask) {
    server_.Route("/t", Reply(kTorrent));
    Load(TorrentFetch::kDirect);
    std::filesystem::create_directory(home_.Torrents() / "x.torrent");

    TorrentRecord record = Record("x", "/t");
    ASSERT_EQ(Start(record), 1);
    EXPECT_EQ(FetchToEnd(*manager_, record), -1);
    EXPECT_EQ(home_.TorrentFiles(), std::vector<std::string>{"x.torrent"}) << "no .tmp, no part";
}

// A link planted at a name the task writes is replaced, never written through.
TEST_F(FileTasks, APlantedLinkIsNeverFollowed) {
    server_.Route("/t", Reply(kTorrent));
    Load(TorrentFetch::kDirect);
    const auto victim = home_.Root() / "victim";
    std::ofstream(victim) << "keep";
    for (const std::string suffix : {".torrent.part", ".torrent"}) {
        std::filesystem::create_symlink(victim, home_.Torrents() / ("x" + suffix));
        TorrentRecord record = Record("x", "/t");
        ASSERT_GT(Start(record), 0);
        EXPECT_EQ(FetchToEnd(*manager_, record), 100) << suffix;
        EXPECT_FALSE(std::filesystem::is_symlink(home_.Torrents() / "x.torrent"));
        EXPECT_EQ(home_.Read("x.torrent"), kTorrent);
        EXPECT_EQ(home_.TorrentFiles(), std::vector<std::string>{"x.torrent"});
        std::filesystem::remove(home_.Torrents() / "x.torrent");
        manager_->StopDownTFile(&record);
    }
    std::ifstream kept(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
}

// A task whose lock was removed under it (by hand, or by an older prune) must
// not remove the lock a later fetch of the same name created.
TEST_F(FileTasks, AnEndingTaskLeavesAnotherTasksLockAlone) {
    FixtureReply hanging = Reply(kTorrent);
    hanging.stallAfterBytes = 0;
    server_.Route("/slow", hanging);
    server_.Route("/slow?again", hanging);
    Load(TorrentFetch::kDirect);
    TorrentRecord first = Record("x", "/slow");
    ASSERT_EQ(Start(first), 1);
    std::filesystem::remove(home_.Torrents() / "x.tmp");
    TorrentRecord second = Record("x", "/slow");
    second.Addr0 += "?again";
    ASSERT_EQ(Start(second), 2);
    manager_->StopDownTFile(&first);
    EXPECT_EQ(home_.TorrentFiles(), std::vector<std::string>{"x.tmp"});
    manager_->StopDownTFile(&second);
    EXPECT_TRUE(home_.TorrentFiles().empty());
}

TEST_F(FileTasks, FileNamesOutsideTheTorrentsFolderAreRefused) {
    server_.Route("/t", Reply(kTorrent));
    Load(TorrentFetch::kDirect);
    for (const std::string name : {"", ".", "..", "../escape", "a/b"}) {
        TorrentRecord record = Record(name, "/t");
        EXPECT_EQ(Start(record), 0) << name;
    }
    EXPECT_TRUE(home_.TorrentFiles().empty());
    EXPECT_FALSE(std::filesystem::exists(home_.Root() / "escape.tmp"));
    EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(FileTasks, ALockLeftByAKilledProcessIsTakenOverOnceItIsOld) {
    server_.Route("/t", Reply(kTorrent));
    Load(TorrentFetch::kDirect);
    // A killed process leaves its lock file behind, no longer flocked.
    const auto lock = home_.Torrents() / "x.tmp";
    std::ofstream(lock) << "4000000\n";
    TorrentRecord record = Record("x", "/t");
    EXPECT_EQ(Start(record), 0) << "a lock seconds old may be a live fetch not locked yet";

    std::filesystem::last_write_time(
        lock, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
    // A live holder keeps its flock however old the file is.
    const int held = ::open(lock.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(Start(record), 0);
    ::close(held);

    EXPECT_EQ(Start(record), 1);
    EXPECT_EQ(FetchToEnd(*manager_, record), 100);
    EXPECT_EQ(home_.TorrentFiles(), std::vector<std::string>{"x.torrent"});
}

TEST_F(FileTasks, ALinkPageLeadsToTheFileWhereverItsLinkPoints) {
    server_.Route("/p1", Reply("<a href=\"/dl/1.torrent\">get</a>"));
    server_.Route("/p2", Reply("<a href=\"" + server_.Url("/dl/2.torrent") + "\">get</a>"));
    server_.Route("/dl/1.torrent", Reply(Torrent("1")));
    server_.Route("/dl/2.torrent", Reply(Torrent("2")));
    Load(TorrentFetch::kLinkPage);
    site_.linkPattern = R"pat(<a\bhref="({.*?})")pat";
    manager_ = std::make_unique<PluginManager>(site_, home_.Location(), &fetch_support::FakeNow);

    for (const std::string n : {"1", "2"}) {
        TorrentRecord record = Record(n, "/p" + n);
        ASSERT_GT(Start(record), 0);
        EXPECT_EQ(FetchToEnd(*manager_, record), 100);
        EXPECT_EQ(home_.Read(n + ".torrent"), Torrent(n));
    }
    EXPECT_EQ(server_.Targets(),
              (std::vector<std::string>{"/p1", "/dl/1.torrent", "/p2", "/dl/2.torrent"}));
}

// A transfer that stops moving fails after the site's allowance, counted on
// the plug-in's clock. Before a detail page arrived no numbered link is
// known, so that fetch fails instead of guessing one.
TEST_F(FileTasks, AStallEndsTheFetchAfterTheSitesAllowance) {
    FixtureReply half = Reply("d1:ai1ee" + std::string(8, ' '));
    half.stallAfterBytes = 8;
    server_.Route("/half", half);
    for (const auto& [fetch, allowance] :
         {std::pair{TorrentFetch::kDirect, 30}, std::pair{TorrentFetch::kNumberedLinks, 60}}) {
        Load(fetch, allowance);
        server_.ClearRequests();
        TorrentRecord record = Record("x", "/half");
        ASSERT_GT(Start(record), 0);
        const int percent =
            fetch_support::PollUntil([&] { return manager_->GetDownTFileStatus(&record); },
                                     [](int status) { return status != 0; });
        EXPECT_EQ(percent, 50);
        g_now += allowance;
        EXPECT_EQ(manager_->GetDownTFileStatus(&record), 50);
        g_now += 1;
        EXPECT_EQ(manager_->GetDownTFileStatus(&record), -1);
        EXPECT_TRUE(home_.TorrentFiles().empty());
        EXPECT_EQ(server_.Targets(), std::vector<std::string>{"/half"});
        manager_.reset();
    }
}

// Bytes trickled are no progress, though each moves the percentage: a fetch
// that brings less than a kilobyte within the allowance fails.
TEST_F(FileTasks, ATricklingReplyStallsLikeASilentOne) {
    FixtureReply trickling = Reply(kTorrent + std::string(4000, ' '));
    trickling.omitLength = true;
    trickling.trickleMs = 20;
    server_.Route("/trickle", trickling);
    Load(TorrentFetch::kDirect);
    TorrentRecord record = Record("x", "/trickle");
    ASSERT_EQ(Start(record), 1);
    ASSERT_TRUE(server_.WaitTrickled(1));
    manager_->GetDownTFileStatus(&record);
    ASSERT_TRUE(server_.WaitTrickled(server_.TrickledBytes() + 2));
    g_now += 31;
    EXPECT_EQ(manager_->GetDownTFileStatus(&record), -1);
    EXPECT_TRUE(home_.TorrentFiles().empty());
}

}  // namespace
