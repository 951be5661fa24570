#include "desktop_entry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
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
// then the quoting of the arguments, then the field codes in each.
std::optional<std::vector<std::string>> ParseExec(const std::string& value) {
    std::string unescaped;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            unescaped += value[i];
            continue;
        }
        const char next = value[++i];
        const std::string_view from = "sntr\\";
        const std::string_view to = " \n\t\r\\";
        if (from.find(next) == std::string_view::npos) {
            return std::nullopt;
        }
        unescaped += to[from.find(next)];
    }
    std::vector<std::string> arguments;
    std::string current;
    bool bInArgument = false;
    for (size_t i = 0; i < unescaped.size(); ++i) {
        const char c = unescaped[i];
        if (c == ' ') {
            if (bInArgument) {
                arguments.push_back(current);
            }
            current.clear();
            bInArgument = false;
            continue;
        }
        bInArgument = true;
        if (c != '"') {
            current += c;
            continue;
        }
        for (++i; i < unescaped.size() && unescaped[i] != '"'; ++i) {
            if (unescaped[i] == '\\' && i + 1 < unescaped.size()) {
                ++i;
            }
            current += unescaped[i];
        }
        if (i == unescaped.size()) {
            return std::nullopt;
        }
    }
    if (bInArgument) {
        arguments.push_back(current);
    }
    // Field codes come last, argument by argument; only "%%" is expected.
    for (std::string& argument : arguments) {
        std::string expanded;
        for (size_t i = 0; i < argument.size(); ++i) {
            if (argument[i] == '%' && (i + 1 == argument.size() || argument[++i] != '%')) {
                return std::nullopt;
            }
            expanded += argument[i];
        }
        argument = expanded;
    }
    return arguments;
}

class DesktopEntryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "desktop-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        Remember("HOME");
        Remember("XDG_CONFIG_HOME");
        Remember("XDG_DATA_HOME");
        ::setenv("HOME", (dir_ + "/home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir_ + "/data").c_str(), 1);
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        }
        fs::remove_all(dir_);
    }
    void Remember(const std::string& name) {
        const char* value = ::getenv(name.c_str());
        saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }

    std::string dir_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
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

TEST_F(DesktopEntryTest, PathsFollowTheXdgFolders) {
    struct Case {
        const char* configHome;  // null: unset
        const char* dataHome;
        std::string autostart;
        std::string application;
    };
    const std::string home = dir_ + "/home";
    const Case cases[] = {
        {"/x/config", "/x/data", "/x/config/autostart/tessaro.desktop",
         "/x/data/applications/tessaro.desktop"},
        {nullptr, nullptr, home + "/.config/autostart/tessaro.desktop",
         home + "/.local/share/applications/tessaro.desktop"},
        {"", "relative/data", home + "/.config/autostart/tessaro.desktop",
         home + "/.local/share/applications/tessaro.desktop"},
    };
    for (const Case& c : cases) {
        c.configHome ? ::setenv("XDG_CONFIG_HOME", c.configHome, 1) : ::unsetenv("XDG_CONFIG_HOME");
        c.dataHome ? ::setenv("XDG_DATA_HOME", c.dataHome, 1) : ::unsetenv("XDG_DATA_HOME");
        EXPECT_EQ(desktop_entry::AutostartEntryPath(), c.autostart);
        EXPECT_EQ(desktop_entry::ApplicationEntryPath(), c.application);
    }
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
