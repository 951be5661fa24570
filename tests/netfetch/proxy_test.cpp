#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "fixture_server.h"
#include "netfetch.h"
#include "test_util.h"

namespace {

using namespace netfetch_test;
using testing_support::FixtureReply;
using testing_support::FixtureServer;

constexpr char kTinyproxy[] = "/usr/bin/tinyproxy";
constexpr char kMicrosocks[] = "/usr/bin/microsocks";

// Hands the record to netfetch for one test and takes it back after.
class ProxyRecord {
  public:
    ProxyRecord() { CDownManager::SetProxyInfo(&info); }
    ~ProxyRecord() { CDownManager::SetProxyInfo(nullptr); }
    ProxyRecord(const ProxyRecord&) = delete;
    ProxyRecord& operator=(const ProxyRecord&) = delete;

    _tagProxyInfo info;
};

FixtureReply Page(const std::string& body) {
    FixtureReply reply;
    reply.body = body;
    return reply;
}

int Fetch(const std::string& url) {
    CDownManager fetch;
    if (fetch.DownLoadFile(url.c_str()) == 0) {
        return 0;
    }
    return WaitForEnd(fetch);
}

TEST(DownManagerProxy, HttpProxyCarriesRequestsAndEditsApplyToTheNextOne) {
    if (::access(kTinyproxy, X_OK) != 0) {
        GTEST_SKIP() << kTinyproxy << " is not installed";
    }
    TempDir dir;
    const int port = UnusedPort();
    std::string config = "Port " + std::to_string(port) +
                         "\nListen 127.0.0.1\nTimeout 30\nMaxClients 32\nAllow 127.0.0.1\n"
                         "ViaProxyName \"netfetch-test-proxy\"\nLogLevel Critical\n";
    if (::geteuid() == 0) {
        config += "User nobody\nGroup nogroup\n";
    }
    ChildProcess proxy({kTinyproxy, "-d", "-c", dir.Write("tinyproxy.conf", config)});
    ASSERT_TRUE(proxy.Running());
    ASSERT_TRUE(WaitForListener(port));

    FixtureServer server;
    server.Route("/page", Page("through"));
    ProxyRecord record;
    record.info.nType = 4;
    record.info.strAddr = "127.0.0.1";
    record.info.nPort = port;

    EXPECT_EQ(Fetch(server.Url("/page")), 100);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_NE(server.Requests()[0].Header("via").find("netfetch-test-proxy"), std::string::npos);

    // The options edit the record in place; nobody calls SetProxyInfo again.
    record.info.nType = 0;
    EXPECT_EQ(Fetch(server.Url("/page")), 100);
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests()[1].Header("via"), "");

    record.info.nType = 4;
    record.info.nPort = UnusedPort();
    EXPECT_EQ(Fetch(server.Url("/page")), -1) << "a dead proxy is not bypassed";
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(DownManagerProxy, Socks5ProxyWithUserAndPassword) {
    if (::access(kMicrosocks, X_OK) != 0) {
        GTEST_SKIP() << kMicrosocks << " is not installed";
    }
    const int port = UnusedPort();
    ChildProcess proxy({kMicrosocks, "-i", "127.0.0.1", "-p", std::to_string(port), "-u", "reader",
                        "-P", "s3cret"});
    ASSERT_TRUE(proxy.Running());
    ASSERT_TRUE(WaitForListener(port));

    FixtureServer server;
    server.Route("/page", Page("through"));
    ProxyRecord record;
    record.info.nType = 3;
    record.info.strAddr = "127.0.0.1";
    record.info.nPort = port;
    record.info.bAuthen = 1;
    record.info.strUser = "reader";
    record.info.strPassword = "s3cret";

    EXPECT_EQ(Fetch(server.Url("/page")), 100);
    EXPECT_EQ(server.Requests().size(), 1u);

    record.info.strPassword = "wrong";
    EXPECT_EQ(Fetch(server.Url("/page")), -1);
    record.info.bAuthen = 0;
    EXPECT_EQ(Fetch(server.Url("/page")), -1);
    EXPECT_EQ(server.Requests().size(), 1u) << "refused requests never reached the site";
}

}  // namespace
