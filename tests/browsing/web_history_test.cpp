#include "web_history.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "open_address.h"

namespace fs = std::filesystem;

namespace {

using Entries = std::vector<std::string>;

class WebHistoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "webhistory-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/webhistory.ini";
    }
    void TearDown() override { fs::remove_all(dir_); }

    Entries Loaded() const {
        CWebHistory history(path_);
        history.Load();
        return history.Entries();
    }

    std::string dir_;
    std::string path_;
};

TEST_F(WebHistoryTest, AddingPutsTheAddressOnTopOnce) {
    const std::string tooLong =
        "http://s.example/" + std::string(CWebHistory::kMaxAddressBytes, 'x');
    struct Case {
        Entries added;
        Entries expected;
    };
    const Case cases[] = {
        {{"a", "b", "a"}, {"a", "b"}},
        {{"a", "b", "c", "b"}, {"b", "c", "a"}},
        {{"a", "A"}, {"A", "a"}},
        {{"a", "", "x\ny", tooLong}, {"a"}},
    };
    for (const Case& c : cases) {
        CWebHistory history(path_);
        for (const std::string& address : c.added) {
            history.Add(address);
        }
        EXPECT_EQ(history.Entries(), c.expected) << c.added.size() << " addresses";
    }
}

TEST_F(WebHistoryTest, SavedHistoryLoadsBack) {
    EXPECT_EQ(Loaded(), Entries{});

    const Entries addresses = {"http://s.example/?a=b&c=d;e", " http://s.example/lead ",
                               "http://站点.example/页"};
    CWebHistory history(path_);
    for (auto it = addresses.rbegin(); it != addresses.rend(); ++it) {
        ASSERT_TRUE(history.Add(*it));
    }
    ASSERT_TRUE(history.Save());
    EXPECT_EQ(Loaded(), addresses);

    // A count larger than the entries stops at the first missing one.
    std::ofstream(path_) << "[Web]\nCount=99999999999\n0=first\n1=second\n";
    EXPECT_EQ(Loaded(), (Entries{"first", "second"}));
    std::ofstream(path_) << "[Web]\n0=first\n";
    EXPECT_EQ(Loaded(), Entries{});
}

TEST(OpenAddressTest, WebAddressesOpenInTheBrowseTabWhenAsked) {
    struct Case {
        const char* address;
        bool internal;
        const char* currentPage;
        OpenTarget expected;
    };
    const Case cases[] = {
        {"http://s.example/", true, "about:blank", OpenTarget::kCurrentPage},
        {"HTTPS://s.example/", true, "about:blank", OpenTarget::kCurrentPage},
        {"http://s.example/", true, "about:blank#x", OpenTarget::kNewPage},
        {"http://s.example/", true, "http://t.example/", OpenTarget::kNewPage},
        {"http://s.example/", false, "about:blank", OpenTarget::kDesktop},
        {"mailto:someone@s.example", true, "about:blank", OpenTarget::kDesktop},
        {"MailTo:someone@s.example", false, "", OpenTarget::kDesktop},
        {"", true, "about:blank", OpenTarget::kNothing},
        {"file:///etc/passwd", false, "", OpenTarget::kNothing},
        {"javascript:alert(1)", true, "about:blank", OpenTarget::kNothing},
        {"s.example/http://", true, "about:blank", OpenTarget::kNothing},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseOpenTarget(c.address, c.internal, c.currentPage), c.expected)
            << c.address << " internal=" << c.internal << " page=" << c.currentPage;
    }
}

}  // namespace
