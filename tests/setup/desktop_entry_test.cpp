#include "desktop_entry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The programs a user's path may hold, with the Exec line of their
// autostart entry.
const struct {
    const char* program;
    const char* exec;
} kPrograms[] = {
    {"/usr/bin/tessaro", "/usr/bin/tessaro hide"},
    {"/opt/My Apps/tessaro", R"("/opt/My Apps/tessaro" hide)"},
    {"/opt/a\"b/t", R"("/opt/a\\"b/t" hide)"},
    {"/opt/a\\b/t", R"("/opt/a\\\\b/t" hide)"},
    {"/opt/$HOME/t", R"("/opt/\\$HOME/t" hide)"},
    {"/opt/`id`/t", R"("/opt/\\`id\\`/t" hide)"},
    {"/opt/100%/t", "/opt/100%%/t hide"},
    {"/opt/50% off/t", R"("/opt/50%% off/t" hide)"},
    {"/opt/it's;(x)/t", R"("/opt/it's;(x)/t" hide)"},
    {"/opt/tab\there/t", R"("/opt/tab\there/t" hide)"},
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ExecLine(const std::string& entry) {
    std::istringstream lines(entry);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Exec=", 0) == 0) {
            return line.substr(5);
        }
    }
    return {};
}

// How a desktop reads an Exec value back: the escapes of a string value,
// then the quoting of the arguments, then the field codes in each (of which
// only "%%" may occur).
std::vector<std::string> ParseExec(const std::string& value) {
    std::string line;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            c = value[++i];
            c = c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c == 's' ? ' ' : c;
        }
        line += c;
    }
    std::vector<std::string> arguments;
    bool bInArgument = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ' ') {
            bInArgument = false;
            continue;
        }
        if (!bInArgument) {
            arguments.emplace_back();
            bInArgument = true;
        }
        if (line[i] != '"') {
            arguments.back() += line[i];
            continue;
        }
        while (++i < line.size() && line[i] != '"') {
            arguments.back() += line[i] == '\\' ? line[++i] : line[i];
        }
    }
    for (std::string& argument : arguments) {
        for (size_t at = argument.find("%%"); at != std::string::npos;
             at = argument.find("%%", at + 1)) {
            argument.erase(at, 1);
        }
    }
    return arguments;
}

// The variables are this test program's own: no other test reads them.
class DesktopEntryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "desktop-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ::setenv("HOME", (dir_ + "/home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir_ + "/data").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string dir_;
};

TEST_F(DesktopEntryTest, ExecQuotesTheProgramAndReadsBackToIt) {
    for (const auto& c : kPrograms) {
        std::string error;
        ASSERT_TRUE(desktop_entry::WriteAutostartEntry(c.program, error)) << error;
        const std::string exec = ExecLine(ReadFile(dir_ + "/config/autostart/tessaro.desktop"));
        EXPECT_EQ(exec, c.exec) << c.program;
        EXPECT_EQ(ParseExec(exec), (std::vector<std::string>{c.program, "hide"})) << exec;
    }
    std::string error;
    ASSERT_TRUE(desktop_entry::WriteApplicationEntry("/opt/My Apps/tessaro", error)) << error;
    EXPECT_EQ(ParseExec(ExecLine(ReadFile(dir_ + "/data/applications/tessaro.desktop"))),
              (std::vector<std::string>{"/opt/My Apps/tessaro"}));
    EXPECT_EQ(fs::directory_iterator(dir_ + "/config/autostart")->path().filename(),
              "tessaro.desktop");
}

// Set, the variables decide (the test above); unset or relative, the home.
TEST_F(DesktopEntryTest, PathsFallBackToTheHomeFolder) {
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(desktop_entry::AutostartEntryPath(),
              dir_ + "/home/.config/autostart/tessaro.desktop");
    EXPECT_EQ(desktop_entry::ApplicationEntryPath(),
              dir_ + "/home/.local/share/applications/tessaro.desktop");
}

TEST_F(DesktopEntryTest, RemovingAndFailingAreReported) {
    std::string error;
    EXPECT_TRUE(desktop_entry::RemoveAutostartEntry(error)) << error;
    ASSERT_TRUE(desktop_entry::WriteAutostartEntry("/usr/bin/tessaro", error)) << error;
    EXPECT_TRUE(desktop_entry::RemoveAutostartEntry(error)) << error;
    EXPECT_FALSE(fs::exists(dir_ + "/config/autostart/tessaro.desktop"));

    EXPECT_FALSE(desktop_entry::WriteAutostartEntry("/usr/bin/bad\x01name", error));
    EXPECT_FALSE(desktop_entry::WriteAutostartEntry("", error));

    // A file where the folder should be: the entry cannot be written.
    std::ofstream(dir_ + "/data") << "in the way";
    error.clear();
    EXPECT_FALSE(desktop_entry::WriteApplicationEntry("/usr/bin/tessaro", error));
    EXPECT_NE(error.find(dir_ + "/data"), std::string::npos) << error;
}

}  // namespace
