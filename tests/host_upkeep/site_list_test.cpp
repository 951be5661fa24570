// The published site list and the one-refresher-per-home lock.
#include <gtest/gtest.h>

#include <fstream>

#include "refresh_lock.h"
#include "site_list.h"
#include "upkeep_home.h"

namespace {

using upkeep_test::UpkeepHome;

CSiteList ListOf(const UpkeepHome& home, const std::string& strSection) {
    std::ofstream(home.Kernel() + "dllmgr.ini") << strSection;
    CSiteList list;
    list.Load(CIniFile(home.Kernel() + "dllmgr.ini"));
    return list;
}

TEST(SiteList, MissingAndEmptyKeysAreSkippedSoItemsCountNonEmptyValues) {
    UpkeepHome home;
    const CSiteList list = ListOf(home,
                                  "[PublishSites]\ncount=4\n"
                                  "0=Heron|http://heron.example/\n"
                                  "2=Wren|http://wren.example/|mirror\n"
                                  "3=\n");
    ASSERT_EQ(list.GetSites().size(), 2u);
    EXPECT_EQ(list.GetSite(0)->strName, "Heron");
    EXPECT_EQ(list.GetSite(1)->strName, "Wren");
    EXPECT_EQ(list.GetSite(1)->strAddress, "http://wren.example/");
    EXPECT_EQ(list.GetSite(2), nullptr);

    EXPECT_EQ(CSiteList::Split("Just a name").strAddress, "");
    EXPECT_EQ(CSiteList::Split("|http://a/").strName, "");
    EXPECT_TRUE(ListOf(home, "[DLL]\ncount=0\n").GetSites().empty());
    EXPECT_TRUE(ListOf(home, "[PublishSites]\ncount=-3\n0=A|b\n").GetSites().empty());
}

TEST(SiteList, ADamagedCountDoesNotWalkBillionsOfKeys) {
    UpkeepHome home;
    const CSiteList list = ListOf(home, "[PublishSites]\ncount=9000000000000\n5=A|http://a/\n");
    ASSERT_EQ(list.GetSites().size(), 1u);
}

TEST(RefreshLock, OneHolderPerHomeUntilItIsReleased) {
    UpkeepHome home;
    std::string strError;
    auto first = CRefreshLock::Acquire(home.Dir(), strError);
    ASSERT_NE(first, nullptr) << strError;
    EXPECT_EQ(CRefreshLock::Acquire(home.Dir(), strError), nullptr);
    EXPECT_EQ(strError, "another Tessaro is already refreshing " + home.Dir());

    UpkeepHome other;
    EXPECT_NE(CRefreshLock::Acquire(other.Dir(), strError), nullptr);

    first.reset();
    EXPECT_NE(CRefreshLock::Acquire(home.Dir(), strError), nullptr);

    std::filesystem::remove_all(home.Kernel());
    EXPECT_EQ(CRefreshLock::Acquire(home.Dir(), strError), nullptr);
    EXPECT_NE(strError.find("cannot open " + home.Kernel() + "refresh.lock"), std::string::npos);
}

}  // namespace
