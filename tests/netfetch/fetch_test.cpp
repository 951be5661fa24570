#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "fixture_server.h"
#include "netfetch.h"
#include "test_util.h"

namespace {

using namespace netfetch_test;
using testing_support::FixtureReply;
using testing_support::FixtureRequest;
using testing_support::FixtureServer;

// Bytes of every value, zeros included, so nothing treats the body as text.
std::string PatternedBody(size_t size) {
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

FixtureReply Reply(int status, std::string body) {
    FixtureReply reply;
    reply.status = status;
    reply.body = std::move(body);
    return reply;
}

FixtureReply Redirect(const std::string& location) {
    FixtureReply reply = Reply(302, "moved");
    reply.headers.emplace_back("Location", location);
    return reply;
}

FixtureReply Stalling(size_t size, long sentBeforeStall, bool announceLength) {
    FixtureReply reply = Reply(200, PatternedBody(size));
    reply.stallAfterBytes = sentBeforeStall;
    reply.omitLength = !announceLength;
    return reply;
}

class DownManagerTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(CDownManager::GetRunningTransfers(), 0) << "a transfer kept its slot";
    }

    FixtureServer server_;
};

TEST_F(DownManagerTest, DeliversTheWholeBodyWhateverTheFraming) {
    const std::string body = PatternedBody(300000);
    FixtureReply sized = Reply(200, body);
    FixtureReply chunked = sized;
    chunked.chunked = true;
    FixtureReply untilClose = sized;
    untilClose.omitLength = true;
    FixtureReply gzipped = Reply(200, Gzip(body));
    gzipped.headers.emplace_back("Content-Encoding", "gzip");
    server_.Route("/sized", sized);
    server_.Route("/chunked", chunked);
    server_.Route("/until-close", untilClose);
    server_.Route("/gzip", gzipped);

    for (const char* path : {"/sized", "/chunked", "/until-close", "/gzip"}) {
        SCOPED_TRACE(path);
        CDownManager fetch;
        ASSERT_EQ(fetch.DownLoadFile(server_.Url(path).c_str()), 1);
        ASSERT_EQ(WaitForEnd(fetch), 100);
        ASSERT_EQ(fetch.GetDataLength(), static_cast<int64_t>(body.size()));
        EXPECT_EQ(fetch.GetDownLength(), static_cast<int64_t>(body.size()));
        EXPECT_TRUE(DataOf(fetch) == body);
        // Callers terminate the text after the data.
        EXPECT_EQ(fetch.GetDataBuf()[body.size()], '\0');
        char tail[16];
        ASSERT_EQ(fetch.CopyTail(tail, sizeof tail), sizeof tail);
        EXPECT_EQ(std::string(tail, sizeof tail), body.substr(body.size() - sizeof tail));
        fetch.Close();
        EXPECT_EQ(fetch.GetDownPercent(), -1);
        EXPECT_EQ(fetch.GetDataBuf(), nullptr);
    }
}

TEST_F(DownManagerTest, EmptyResponseCompletesWithATerminatedBuffer) {
    server_.Route("/empty", Reply(200, ""));
    CDownManager fetch;
    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/empty").c_str()), 1);
    ASSERT_EQ(WaitForEnd(fetch), 100);
    EXPECT_EQ(fetch.GetDataLength(), 0);
    ASSERT_NE(fetch.GetDataBuf(), nullptr);
    EXPECT_EQ(fetch.GetDataBuf()[0], '\0');
}

TEST_F(DownManagerTest, SendsTheRequestAsGiven) {
    server_.SetHandler([](const FixtureRequest&) { return Reply(200, "ok"); });
    const std::string form = "kw=%D6%D0%CE%C4&page=" + std::string(4000, '1');
    CDownManager fetch;

    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/search.php").c_str(), "http://site.example/",
                                 form.c_str()),
              1);
    ASSERT_EQ(WaitForEnd(fetch), 100);
    // A plain GET; inner spaces are escaped, raw GBK bytes pass untouched.
    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/list a.php?sort=\xD3\xCE\xCF\xB7").c_str()), 1);
    ASSERT_EQ(WaitForEnd(fetch), 100);
    // An empty body is no body.
    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/plain").c_str(), "", ""), 1);
    ASSERT_EQ(WaitForEnd(fetch), 100);

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/search.php");
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

    EXPECT_EQ(requests[2].method, "GET");
    EXPECT_EQ(requests[2].Header("referer"), "");
}

TEST_F(DownManagerTest, FollowsUpToFiveRedirects) {
    server_.Route("/start", Redirect("/hop"));
    server_.Route("/hop", Redirect(server_.Url("/final")));
    server_.Route("/final", Reply(200, "arrived"));
    for (int i = 0; i < 6; ++i) {
        server_.Route("/loop" + std::to_string(i), Redirect("/loop" + std::to_string(i + 1)));
    }
    server_.Route("/loop6", Reply(200, "too far"));

    CDownManager fetch;
    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/start").c_str()), 1);
    ASSERT_EQ(WaitForEnd(fetch), 100);
    EXPECT_EQ(DataOf(fetch), "arrived");

    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/loop1").c_str()), 1);
    ASSERT_EQ(WaitForEnd(fetch), 100) << "five redirects are allowed";
    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/loop0").c_str()), 1);
    EXPECT_EQ(WaitForEnd(fetch), -1) << "the sixth is not";
}

TEST_F(DownManagerTest, FailuresReadMinusOneAndKeepNoData) {
    server_.Route("/missing", Reply(404, "no such page"));
    server_.Route("/broken", Reply(500, "server error"));
    const std::string refused = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/";

    for (const std::string& url : {server_.Url("/missing"), server_.Url("/broken"), refused}) {
        SCOPED_TRACE(url);
        CDownManager fetch;
        ASSERT_EQ(fetch.DownLoadFile(url.c_str()), 1);
        EXPECT_EQ(WaitForEnd(fetch), -1);
        EXPECT_EQ(fetch.GetDataBuf(), nullptr);
        EXPECT_EQ(fetch.GetDataLength(), 0);
        EXPECT_EQ(CDownManager::GetRunningTransfers(), 0);
    }
}

TEST_F(DownManagerTest, ResponsesOverTheCapFail) {
    const size_t cap = static_cast<size_t>(CDownManager::kMaxResponseBytes);
    FixtureReply announced = Reply(200, std::string(cap + 1, 'a'));
    server_.Route("/announced", announced);
    FixtureReply streamed = announced;
    streamed.chunked = true;
    server_.Route("/streamed", streamed);
    FixtureReply atCap = Reply(200, std::string(cap, 'b'));
    atCap.chunked = true;
    server_.Route("/at-cap", atCap);

    CDownManager fetch;
    for (const char* path : {"/announced", "/streamed"}) {
        SCOPED_TRACE(path);
        ASSERT_EQ(fetch.DownLoadFile(server_.Url(path).c_str()), 1);
        EXPECT_EQ(WaitForEnd(fetch, 60s), -1);
        EXPECT_EQ(fetch.GetDataBuf(), nullptr);
    }
    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/at-cap").c_str()), 1);
    ASSERT_EQ(WaitForEnd(fetch, 60s), 100);
    EXPECT_EQ(fetch.GetDataLength(), CDownManager::kMaxResponseBytes);
}

TEST_F(DownManagerTest, CookiesStayWithTheirObject) {
    FixtureReply login = Reply(200, "welcome");
    login.headers.emplace_back("Set-Cookie", "session=abc123; Path=/");
    server_.Route("/login", login);
    server_.Route("/page", Reply(200, "page"));

    CDownManager owner;
    ASSERT_EQ(owner.DownLoadFile(server_.Url("/login").c_str()), 1);
    ASSERT_EQ(WaitForEnd(owner), 100);
    owner.Close();
    ASSERT_EQ(owner.DownLoadFile(server_.Url("/page").c_str()), 1);
    ASSERT_EQ(WaitForEnd(owner), 100);
    ASSERT_EQ(owner.DownLoadFile(server_.Url("/page").c_str()), 1);
    ASSERT_EQ(WaitForEnd(owner), 100);

    CDownManager stranger;
    ASSERT_EQ(stranger.DownLoadFile(server_.Url("/page").c_str()), 1);
    ASSERT_EQ(WaitForEnd(stranger), 100);

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1].Header("cookie"), "session=abc123");
    EXPECT_EQ(requests[2].Header("cookie"), "session=abc123");
    EXPECT_EQ(requests[3].Header("cookie"), "");
}

TEST_F(DownManagerTest, RefusesBadInputWithoutSideEffects) {
    server_.Route("/page", Reply(200, "kept"));
    CDownManager fetch;
    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/page").c_str()), 1);
    ASSERT_EQ(WaitForEnd(fetch), 100);

    for (const char* url :
         {static_cast<const char*>(nullptr), "", "   ", "not a url", "ftp://127.0.0.1/file",
          "file:///etc/passwd", "http://", "127.0.0.1/page", "http://exa mple.com/"}) {
        SCOPED_TRACE(url == nullptr ? "(null)" : url);
        EXPECT_EQ(fetch.DownLoadFile(url), 0);
        EXPECT_EQ(CDownManager::GetRunningTransfers(), 0);
        EXPECT_EQ(DataOf(fetch), "kept");
    }
    CDownManager fresh;
    EXPECT_EQ(fresh.DownLoadFile("gopher://127.0.0.1/"), 0);
    EXPECT_EQ(fresh.GetDownPercent(), -1);
    EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(DownManagerTest, OneRequestAtATimePerObject) {
    server_.Route("/slow", Stalling(1000, 10, true));
    server_.Route("/other", Reply(200, "other"));
    CDownManager fetch;
    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/slow").c_str()), 1);
    EXPECT_EQ(fetch.DownLoadFile(server_.Url("/other").c_str()), 0);
    EXPECT_EQ(CDownManager::GetRunningTransfers(), 1);
    ASSERT_TRUE(WaitUntil([&] { return fetch.GetDownLength() == 10; }));
    fetch.Close();
}

TEST_F(DownManagerTest, PercentFollowsTheBytesThatArrive) {
    ScriptedServer sized;
    CDownManager fetch;
    ASSERT_EQ(fetch.DownLoadFile(sized.Url("/sized").c_str()), 1);
    ASSERT_TRUE(sized.Accept());
    EXPECT_EQ(fetch.GetDownPercent(), 0);
    const std::string body = PatternedBody(1000);
    ASSERT_TRUE(
        sized.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + body.substr(0, 250)));
    ASSERT_TRUE(WaitUntil([&] { return fetch.GetDownPercent() == 25; }));
    EXPECT_EQ(fetch.GetDownLength(), 250);
    EXPECT_EQ(fetch.GetDataBuf(), nullptr) << "the buffer is handed out once complete";
    EXPECT_EQ(fetch.GetDataLength(), 0);
    char tail[50];
    ASSERT_EQ(fetch.CopyTail(tail, sizeof tail), sizeof tail);
    EXPECT_EQ(std::string(tail, sizeof tail), body.substr(200, 50));
    ASSERT_TRUE(sized.Send(body.substr(250)));
    ASSERT_EQ(WaitForEnd(fetch), 100);
    EXPECT_EQ(DataOf(fetch), body);

    // Without a length, every poll that finds new bytes reads a new value
    // and a poll that finds none reads the same one.
    ScriptedServer open;
    ASSERT_EQ(fetch.DownLoadFile(open.Url("/open").c_str()), 1);
    ASSERT_TRUE(open.Accept());
    ASSERT_TRUE(open.Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<html>"));
    ASSERT_TRUE(WaitUntil([&] { return fetch.GetDownLength() == 6; }));
    int previous = fetch.GetDownPercent();
    EXPECT_GT(previous, 0);
    EXPECT_LT(previous, 100);
    for (int step = 0; step < 120; ++step) {
        EXPECT_EQ(fetch.GetDownPercent(), previous);
        ASSERT_TRUE(open.Send("x"));
        ASSERT_TRUE(WaitUntil([&] { return fetch.GetDownLength() == 7 + step; }));
        const int next = fetch.GetDownPercent();
        EXPECT_NE(next, previous);
        EXPECT_GT(next, 0);
        EXPECT_LT(next, 100);
        previous = next;
    }
    ASSERT_TRUE(open.Send("</html>"));
    open.Hangup();
    ASSERT_EQ(WaitForEnd(fetch), 100);
    EXPECT_EQ(DataOf(fetch), "<html>" + std::string(120, 'x') + "</html>");
}

TEST_F(DownManagerTest, StalledServerKeepsThePercentStill) {
    server_.Route("/sized", Stalling(10000, 1000, true));
    server_.Route("/open", Stalling(10000, 1000, false));
    for (const char* path : {"/sized", "/open"}) {
        SCOPED_TRACE(path);
        CDownManager fetch;
        ASSERT_EQ(fetch.DownLoadFile(server_.Url(path).c_str()), 1);
        ASSERT_TRUE(WaitUntil([&] { return fetch.GetDownLength() == 1000; }));
        const int stalled = fetch.GetDownPercent();
        EXPECT_GT(stalled, 0);
        EXPECT_FALSE(WaitUntil([&] { return fetch.GetDownPercent() != stalled; }, 300ms));
    }
}

TEST_F(DownManagerTest, CloseCancelsARunningTransfer) {
    server_.Route("/stall", Stalling(100000, 5000, true));
    server_.Route("/ok", Reply(200, "ok"));
    CDownManager fetch;
    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/stall").c_str()), 1);
    ASSERT_TRUE(WaitUntil([&] { return fetch.GetDownLength() == 5000; }));
    fetch.Close();
    EXPECT_EQ(fetch.GetDownPercent(), -1);
    EXPECT_EQ(fetch.GetDownLength(), 0);
    EXPECT_EQ(fetch.GetDataBuf(), nullptr);
    EXPECT_EQ(CDownManager::GetRunningTransfers(), 0);

    // Destroyed while its transfer runs: the I/O thread must not touch it.
    {
        CDownManager doomed;
        ASSERT_EQ(doomed.DownLoadFile(server_.Url("/stall").c_str()), 1);
        ASSERT_TRUE(WaitUntil([&] { return doomed.GetDownLength() > 0; }));
    }
    ASSERT_EQ(fetch.DownLoadFile(server_.Url("/ok").c_str()), 1);
    EXPECT_EQ(WaitForEnd(fetch), 100);
}

TEST_F(DownManagerTest, TheProcessWideLimitGatesNewTransfers) {
    struct LimitGuard {
        ~LimitGuard() { CDownManager::SetMaxTransfers(CDownManager::kDefaultMaxTransfers); }
    } guard;
    CDownManager::SetMaxTransfers(2);
    server_.Route("/stall", Stalling(1000, 10, true));
    server_.Route("/ok", Reply(200, "ok"));

    CDownManager first;
    CDownManager second;
    EXPECT_EQ(first.IsCanDownNow(), 1);
    ASSERT_EQ(first.DownLoadFile(server_.Url("/stall").c_str()), 1);
    EXPECT_EQ(first.IsCanDownNow(), 1);
    // A transfer counts from the moment it is asked for.
    ASSERT_EQ(second.DownLoadFile(server_.Url("/ok").c_str()), 1);
    EXPECT_EQ(first.IsCanDownNow(), 0);
    EXPECT_EQ(CDownManager::GetRunningTransfers(), 2);
    // ... until it completes ...
    ASSERT_EQ(WaitForEnd(second), 100);
    EXPECT_EQ(second.IsCanDownNow(), 1);
    ASSERT_EQ(second.DownLoadFile(server_.Url("/stall").c_str()), 1);
    EXPECT_EQ(second.IsCanDownNow(), 0);
    // ... or is closed.
    first.Close();
    EXPECT_EQ(second.IsCanDownNow(), 1);
    second.Close();
    EXPECT_EQ(CDownManager::GetRunningTransfers(), 0);
}

}  // namespace
