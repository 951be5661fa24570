#include "home.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class HomeLayoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tessaro-home-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
    }
    void TearDown() override { fs::remove_all(m_root); }

    fs::path m_root;
};

TEST(InstalledDefaultsTest, PortableBesideTheProgramInstalledUnderThePrefix) {
    const struct {
        const char* exeDir;
        const char* dataDir;
        const char* pluginDir;
    } kCases[] = {
        {"/usr/bin/", "/usr/share/tessaro/", "/usr/lib/tessaro/kernel/"},
        {"/tmp/unpacked/usr/bin", "/tmp/unpacked/usr/share/tessaro/",
         "/tmp/unpacked/usr/lib/tessaro/kernel/"},
        {"/bin/", "/share/tessaro/", "/lib/tessaro/kernel/"},
        {"/opt/t/build/dist/", "/opt/t/build/dist/defaults/", "/opt/t/build/dist/kernel/"},
        {"/opt/binaries/", "/opt/binaries/defaults/", "/opt/binaries/kernel/"},
    };
    for (const auto& c : kCases) {
        const tessaro::InstalledDefaults found = tessaro::InstalledDefaultsFor(c.exeDir);
        EXPECT_EQ(found.dataDir, c.dataDir) << c.exeDir;
        EXPECT_EQ(found.pluginDir, c.pluginDir) << c.exeDir;
    }
}

// A portable folder that happens to be called bin/ keeps its own defaults.
TEST_F(HomeLayoutTest, PortableFolderNamedBinKeepsItsDefaults) {
    fs::create_directories(m_root / "bin/defaults");
    const tessaro::InstalledDefaults found =
        tessaro::InstalledDefaultsFor((m_root / "bin").string());
    EXPECT_EQ(found.dataDir, (m_root / "bin/defaults/").string());
    EXPECT_EQ(found.pluginDir, (m_root / "bin/kernel/").string());
}

// An upgrade adds plug-ins to the installed tree; laying the home out again
// links only those and leaves the user's files as they are.
TEST_F(HomeLayoutTest, LayingOutAgainLinksOnlyNewPlugins) {
    const fs::path prefix = m_root / "usr";
    for (const char* file : {"global.ini", "global.zh_CN.ini", "dllmgr.ini", "help.txt"}) {
        WriteFile(prefix / "share/tessaro" / file, std::string("installed ") + file);
    }
    const fs::path plugins = prefix / "lib/tessaro/kernel";
    WriteFile(plugins / "heron.so", "heron");
    WriteFile(plugins / "petrel/larkspur.so", "larkspur");
    const tessaro::InstalledDefaults defaults =
        tessaro::InstalledDefaultsFor((prefix / "bin").string());
    const std::string home = (m_root / "home/").string();

    tessaro::LayoutResult first = tessaro::LayOutHome(home, defaults, true);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(ReadFile(home + "kernel/global.ini"), "installed global.zh_CN.ini");
    EXPECT_EQ(ReadFile(home + "kernel/petrel/larkspur.so"), "larkspur");

    const std::vector<std::pair<std::string, std::string>> userFiles = {
        {"kernel/global.ini", "the user's tree"},
        {"kernel/dllmgr.ini", "the user's registry and refresh dates"},
        {"kernel/websdata.db", "the user's catalogue"},
        {"help.txt", "edited help"},
    };
    for (const auto& [path, text] : userFiles) {
        WriteFile(home + path, text);
    }
    WriteFile(plugins / "kite.so", "kite");
    WriteFile(plugins / "petrel/tern.so", "tern");
    WriteFile(plugins / "README", "not a plug-in");

    tessaro::LayoutResult upgrade = tessaro::LayOutHome(home, defaults, false);
    ASSERT_TRUE(upgrade.ok) << upgrade.error;
    std::sort(upgrade.created.begin(), upgrade.created.end());
    EXPECT_EQ(upgrade.created,
              (std::vector<std::string>{home + "kernel/kite.so", home + "kernel/petrel/tern.so"}));
    for (const auto& [path, text] : userFiles) {
        EXPECT_EQ(ReadFile(home + path), text) << path;
    }
    EXPECT_EQ(fs::read_symlink(home + "kernel/kite.so"), plugins / "kite.so");
    EXPECT_FALSE(fs::exists(home + "kernel/README"));
}

}  // namespace
