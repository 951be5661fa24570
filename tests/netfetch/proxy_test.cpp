#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fixture_server.h"
#include "netfetch.h"
#include "test_util.h"

namespace {

using namespace netfetch_test;

// Hands a proxy record to netfetch for one test; a local site to reach.
class ProxyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CDownManager::SetProxyInfo(&proxy_);
        testing_support::FixtureReply reply;
        reply.body = "through";
        server_.Route("/page", reply);
    }
    void TearDown() override { CDownManager::SetProxyInfo(nullptr); }

    int Fetch() {
        CDownManager fetch;
        return fetch.DownLoadFile(server_.Url("/page").c_str()) == 0 ? 0 : WaitForEnd(fetch);
    }

    _tagProxyInfo proxy_;
    testing_support::FixtureServer server_;
};

TEST_F(ProxyTest, HttpProxyCarriesRequestsAndEditsApplyToTheNextOne) {
    if (::access("/usr/bin/tinyproxy", X_OK) != 0) {
        GTEST_SKIP() << "tinyproxy is not installed";
    }
    std::string dir = (std::filesystem::temp_directory_path() / "netfetch-proxy-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const int port = UnusedPort();
    std::ofstream(dir + "/tinyproxy.conf")
        << "Port " << port << "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\nMaxClients 32\n"
        << "ViaProxyName \"netfetch-test-proxy\"\nLogLevel Critical\n"
        << (::geteuid() == 0 ? "User nobody\nGroup nogroup\n" : "");
    ChildProcess tinyproxy({"/usr/bin/tinyproxy", "-d", "-c", dir + "/tinyproxy.conf"});
    const bool listening = WaitForListener(port);
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(listening);

    proxy_.nType = 4;
    proxy_.strAddr = "127.0.0.1";
    proxy_.nPort = port;
    EXPECT_EQ(Fetch(), 100);
    // The options edit the record in place; nobody calls SetProxyInfo again.
    proxy_.nType = 0;
    EXPECT_EQ(Fetch(), 100);
    proxy_.nType = 4;
    proxy_.nPort = UnusedPort();
    EXPECT_EQ(Fetch(), -1) << "a dead proxy is not bypassed";

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].Header("via").find("netfetch-test-proxy"), std::string::npos);
    EXPECT_EQ(requests[1].Header("via"), "");
}

TEST_F(ProxyTest, Socks5ProxyWithUserAndPassword) {
    if (::access("/usr/bin/microsocks", X_OK) != 0) {
        GTEST_SKIP() << "microsocks is not installed";
    }
    const int port = UnusedPort();
    ChildProcess microsocks({"/usr/bin/microsocks", "-i", "127.0.0.1", "-p", std::to_string(port),
                             "-u", "reader", "-P", "s3cret"});
    ASSERT_TRUE(WaitForListener(port));

    proxy_.nType = 3;
    proxy_.strAddr = "127.0.0.1";
    proxy_.nPort = port;
    proxy_.bAuthen = 1;
    proxy_.strUser = "reader";
    proxy_.strPassword = "s3cret";
    EXPECT_EQ(Fetch(), 100);
    proxy_.strPassword = "wrong";
    EXPECT_EQ(Fetch(), -1);
    proxy_.bAuthen = 0;
    EXPECT_EQ(Fetch(), -1);
    EXPECT_EQ(server_.Requests().size(), 1u) << "refused requests never reached the site";
}

}  // namespace
