#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "fixture_server.h"
#include "netfetch.h"
#include "test_util.h"

namespace {

using namespace netfetch_test;
using testing_support::FixtureReply;
using testing_support::FixtureServer;

// Bytes of every value, zeros included, so nothing treats the body as text.
std::string Patterned(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        body[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return body;
}

std::string Gzip(const std::string& plain) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string packed(deflateBound(&stream, plain.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return packed;
}

FixtureReply Reply(int status, std::string body, bool chunked = false) {
    FixtureReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.chunked = chunked;
    return reply;
}

FixtureReply With(FixtureReply reply, const char* header, const std::string& value) {
    reply.headers.emplace_back(header, value);
    return reply;
}

FixtureReply Stalling(long sentBeforeStall, bool announceLength) {
    FixtureReply reply = Reply(200, Patterned(10000));
    reply.stallAfterBytes = sentBeforeStall;
    reply.omitLength = !announceLength;
    return reply;
}

class DownManagerTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(CDownManager::GetRunningTransfers(), 0) << "a transfer kept its slot";
    }

    // The final percent of a request for `path`, 0 when it did not start.
    int Fetch(CDownManager& fetch, const std::string& path, const char* referer = nullptr,
              const char* body = nullptr) {
        return fetch.DownLoadFile(server_.Url(path).c_str(), referer, body) == 0
                   ? 0
                   : WaitForEnd(fetch, 60s);
    }

    FixtureServer server_;
};

TEST_F(DownManagerTest, DeliversTheWholeBodyWhateverTheFraming) {
    const std::string body = Patterned(300000);
    FixtureReply untilClose = Reply(200, body);
    untilClose.omitLength = true;
    server_.Route("/sized", Reply(200, body));
    server_.Route("/chunked", Reply(200, body, true));
    server_.Route("/until-close", untilClose);
    server_.Route("/gzip", With(Reply(200, Gzip(body)), "Content-Encoding", "gzip"));
    server_.Route("/empty", Reply(200, ""));

    for (const char* path : {"/sized", "/chunked", "/until-close", "/gzip", "/empty"}) {
        SCOPED_TRACE(path);
        const std::string expected = std::string(path) == "/empty" ? "" : body;
        CDownManager fetch;
        ASSERT_EQ(Fetch(fetch, path), 100);
        EXPECT_EQ(fetch.GetDownLength(), static_cast<int64_t>(expected.size()));
        EXPECT_TRUE(DataOf(fetch) == expected);
        // Callers terminate the text after the data, and may write into it.
        EXPECT_EQ(fetch.GetDataBuf()[expected.size()], '\0');
        fetch.GetDataBuf()[0] = 'x';
        fetch.Close();
        EXPECT_EQ(fetch.GetDownPercent(), -1);
        EXPECT_EQ(fetch.GetDataBuf(), nullptr);
    }
}

TEST_F(DownManagerTest, SendsTheRequestAsGiven) {
    server_.SetHandler([](const auto&) { return Reply(200, "ok"); });
    const std::string form = "kw=%D6%D0%CE%C4&page=" + std::string(4000, '1');
    CDownManager fetch;
    ASSERT_EQ(Fetch(fetch, "/search.php", "http://site.example/", form.c_str()), 100);
    // Inner spaces are escaped, raw GBK bytes pass untouched, empty means absent.
    ASSERT_EQ(Fetch(fetch, "/list a.php?sort=\xD3\xCE\xCF\xB7", "", ""), 100);

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].body, form);
    EXPECT_EQ(requests[0].Header("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[0].Header("referer"), "http://site.example/");
    EXPECT_EQ(requests[0].Header("expect"), "");
    EXPECT_NE(requests[0].Header("accept-encoding").find("gzip"), std::string::npos);
    EXPECT_NE(requests[0].Header("accept-encoding").find("deflate"), std::string::npos);
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].target, "/list%20a.php?sort=\xD3\xCE\xCF\xB7");
    EXPECT_EQ(requests[1].body, "");
    EXPECT_EQ(requests[1].Header("referer"), "");
}

TEST_F(DownManagerTest, FollowsFiveRedirectsAndFailsOnErrors) {
    for (int i = 0; i < 6; ++i) {
        server_.Route("/hop" + std::to_string(i),
                      With(Reply(302, ""), "Location", "/hop" + std::to_string(i + 1)));
    }
    server_.Route("/hop6", Reply(200, "arrived"));
    server_.Route("/missing", Reply(404, "no such page"));
    server_.Route("/broken", Reply(500, "server error"));

    CDownManager fetch;
    ASSERT_EQ(Fetch(fetch, "/hop1"), 100);
    EXPECT_EQ(DataOf(fetch), "arrived");
    for (const char* path : {"/hop0", "/missing", "/broken"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Fetch(fetch, path), -1);
        EXPECT_EQ(fetch.GetDataBuf(), nullptr);
        EXPECT_EQ(fetch.GetDataLength(), 0);
    }
    const std::string refused = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/";
    ASSERT_EQ(fetch.DownLoadFile(refused.c_str()), 1);
    EXPECT_EQ(WaitForEnd(fetch), -1);
}

TEST_F(DownManagerTest, ResponsesOverTheCapFail) {
    const size_t cap = static_cast<size_t>(CDownManager::kMaxResponseBytes);
    server_.Route("/announced", Reply(200, std::string(cap + 1, 'a')));
    server_.Route("/streamed", Reply(200, std::string(cap + 1, 'a'), true));
    server_.Route("/at-cap", Reply(200, std::string(cap, 'b'), true));
    CDownManager fetch;
    EXPECT_EQ(Fetch(fetch, "/announced"), -1);
    EXPECT_EQ(Fetch(fetch, "/streamed"), -1);
    EXPECT_EQ(fetch.GetDataBuf(), nullptr);
    ASSERT_EQ(Fetch(fetch, "/at-cap"), 100);
    EXPECT_EQ(fetch.GetDataLength(), CDownManager::kMaxResponseBytes);
}

TEST_F(DownManagerTest, CookiesStayWithTheirObject) {
    server_.Route("/login", With(Reply(200, "welcome"), "Set-Cookie", "session=abc123; Path=/"));
    server_.Route("/page", Reply(200, "page"));
    CDownManager owner;
    CDownManager stranger;
    ASSERT_EQ(Fetch(owner, "/login"), 100);
    owner.Close();
    ASSERT_EQ(Fetch(owner, "/page"), 100);
    ASSERT_EQ(Fetch(owner, "/page"), 100);
    ASSERT_EQ(Fetch(stranger, "/page"), 100);

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1].Header("cookie"), "session=abc123");
    EXPECT_EQ(requests[2].Header("cookie"), "session=abc123");
    EXPECT_EQ(requests[3].Header("cookie"), "");
}

TEST_F(DownManagerTest, RefusesBadInputWithoutSideEffects) {
    server_.Route("/page", Reply(200, "kept"));
    CDownManager fetch;
    ASSERT_EQ(Fetch(fetch, "/page"), 100);
    for (const char* url :
         {static_cast<const char*>(nullptr), "", "   ", "not a url", "ftp://127.0.0.1/file",
          "file:///etc/passwd", "http://", "127.0.0.1/page", "http://exa mple.com/"}) {
        SCOPED_TRACE(url == nullptr ? "(null)" : url);
        EXPECT_EQ(fetch.DownLoadFile(url), 0);
        EXPECT_EQ(CDownManager::GetRunningTransfers(), 0);
        EXPECT_EQ(DataOf(fetch), "kept");
    }
    EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(DownManagerTest, ProgressWhileRunningAndStalled) {
    // Known length: headers and 1,000 of 10,000 bytes, then silence.
    server_.Route("/sized", Stalling(1000, true));
    server_.Route("/open", Stalling(1000, false));
    CDownManager fetch;
    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/sized").c_str()), 1);
    ASSERT_TRUE(WaitUntil([&] { return fetch.GetDownPercent() == 10; }));
    EXPECT_EQ(fetch.GetDownLength(), 1000);
    EXPECT_EQ(fetch.GetDataBuf(), nullptr) << "the buffer is handed out once complete";
    char tail[50];
    ASSERT_EQ(fetch.CopyTail(tail, sizeof tail), sizeof tail);
    EXPECT_EQ(std::string(tail, sizeof tail), Patterned(10000).substr(950, 50));
    EXPECT_FALSE(WaitUntil([&] { return fetch.GetDownPercent() != 10; }, 300ms));
    // Unknown length: the stall keeps the value too.
    fetch.Close();
    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/open").c_str()), 1);
    ASSERT_TRUE(WaitUntil([&] { return fetch.GetDownLength() == 1000; }));
    const int stalled = fetch.GetDownPercent();
    EXPECT_GT(stalled, 0);
    EXPECT_FALSE(WaitUntil([&] { return fetch.GetDownPercent() != stalled; }, 300ms));
    fetch.Close();

    // Unknown length: every poll that finds new bytes reads a new value.
    ScriptedServer open;
    ASSERT_EQ(fetch.DownLoadFile(open.Url("/trickle").c_str()), 1);
    ASSERT_TRUE(open.Accept());
    EXPECT_EQ(fetch.GetDownPercent(), 0);
    ASSERT_TRUE(open.Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<html>"));
    ASSERT_TRUE(WaitUntil([&] { return fetch.GetDownLength() == 6; }));
    int previous = fetch.GetDownPercent();
    for (int step = 0; step < 120; ++step) {
        ASSERT_TRUE(open.Send("x"));
        ASSERT_TRUE(WaitUntil([&] { return fetch.GetDownLength() == 7 + step; }));
        const int next = fetch.GetDownPercent();
        ASSERT_NE(next, previous);
        ASSERT_GT(next, 0);
        ASSERT_LT(next, 100);
        previous = next;
    }
    open.Hangup();
    ASSERT_EQ(WaitForEnd(fetch), 100);
    EXPECT_EQ(DataOf(fetch), "<html>" + std::string(120, 'x'));
}

// A site that trickles, or never ends, fails the transfer once a limit is
// reached; the limits are made small here so the test takes a second or two.
TEST_F(DownManagerTest, TransferLimitsEndTricklingAndEndlessReplies) {
    struct LimitsGuard {
        ~LimitsGuard() { CDownManager::SetTransferLimits({}); }
    } guard;
    FixtureReply trickling = Reply(200, Patterned(10000));
    trickling.omitLength = true;
    trickling.trickleMs = 20;
    server_.Route("/trickle", trickling);
    server_.Route("/endless", Stalling(100, false));
    const struct {
        const char* path;
        CDownManager::TransferLimits limits;
    } cases[] = {
        {"/trickle", {1024, 1, 0}},
        {"/endless", {0, 0, 1}},
    };
    for (const auto& [path, limits] : cases) {
        CDownManager::SetTransferLimits(limits);
        CDownManager fetch;
        ASSERT_EQ(fetch.DownLoadFile(server_.Url(path).c_str()), 1);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForEnd(fetch, 10s), -1) << path;
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << path;
    }
    CDownManager::SetTransferLimits({-1, -1, -1});
    const CDownManager::TransferLimits off = CDownManager::GetTransferLimits();
    EXPECT_EQ(off.lowSpeedBytes + off.lowSpeedSeconds + off.totalSeconds, 0);
}

TEST_F(DownManagerTest, CloseAndTheProcessWideLimit) {
    struct LimitGuard {
        ~LimitGuard() { CDownManager::SetMaxTransfers(CDownManager::kDefaultMaxTransfers); }
    } guard;
    CDownManager::SetMaxTransfers(2);
    server_.Route("/stall", Stalling(10, true));
    server_.Route("/ok", Reply(200, "ok"));
    CDownManager first;
    CDownManager second;
    ASSERT_EQ(first.DownLoadFile(server_.Url("/stall").c_str()), 1);
    EXPECT_EQ(first.DownLoadFile(server_.Url("/ok").c_str()), 0)
        << "one request at a time per object";
    EXPECT_EQ(first.IsCanDownNow(), 1);
    // A transfer counts from the moment it is asked for until it completes...
    ASSERT_EQ(second.DownLoadFile(server_.Url("/ok").c_str()), 1);
    EXPECT_EQ(first.IsCanDownNow(), 0);
    ASSERT_EQ(WaitForEnd(second), 100);
    EXPECT_EQ(first.IsCanDownNow(), 1);
    // ... or is closed.
    ASSERT_TRUE(WaitUntil([&] { return first.GetDownLength() == 10; }));
    EXPECT_EQ(first.GetDownPercent(), 1) << "10 of 10,000 bytes still read as data arriving";
    first.Close();
    EXPECT_EQ(first.GetDownPercent(), -1);
    EXPECT_EQ(first.GetDownLength(), 0);
    EXPECT_EQ(CDownManager::GetRunningTransfers(), 0);
    ASSERT_EQ(Fetch(first, "/ok"), 100);

    // Destroyed while its transfer runs: the I/O thread must not touch it.
    {
        CDownManager doomed;
        ASSERT_EQ(doomed.DownLoadFile(server_.Url("/stall").c_str()), 1);
        ASSERT_TRUE(WaitUntil([&] { return doomed.GetDownLength() > 0; }));
    }
    EXPECT_EQ(Fetch(first, "/ok"), 100);
}

// The I/O thread stops when the process ends, whatever still runs and
// whichever objects outlive the engine.
TEST(DownManagerLifetime, ExitWithTransfersRunningEndsCleanly) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static CDownManager early;  // built before the engine, so destroyed after it
            ScriptedServer server;
            if (early.DownLoadFile(server.Url("/early").c_str()) == 0 || !server.Accept()) {
                std::exit(2);
            }
            static CDownManager late;
            std::exit(late.DownLoadFile(server.Url("/late").c_str()) == 0 ? 3 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
