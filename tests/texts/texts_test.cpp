#include "texts.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using texts::Language;

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
  public:
    void Set(const char* name, const char* value) {
        if (!saved_.count(name)) {
            const char* old = getenv(name);
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }

  private:
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST(TextsLanguage, FollowsTheEnvironment) {
    ScopedEnv env;
    for (const char* name : {"TESSARO_LANG", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        env.Set(name, nullptr);
    }
    EXPECT_EQ(texts::LanguageFromEnvironment(), Language::kEnglish);

    env.Set("LANG", "zh_CN.UTF-8");
    EXPECT_EQ(texts::LanguageFromEnvironment(), Language::kChinese);
    env.Set("LC_MESSAGES", "en_GB.UTF-8");
    EXPECT_EQ(texts::LanguageFromEnvironment(), Language::kEnglish);
    env.Set("LC_ALL", "zh_TW");
    EXPECT_EQ(texts::LanguageFromEnvironment(), Language::kChinese);
    // An empty variable does not count as set.
    env.Set("LC_ALL", "");
    EXPECT_EQ(texts::LanguageFromEnvironment(), Language::kEnglish);
    env.Set("LC_ALL", "C");
    EXPECT_EQ(texts::LanguageFromEnvironment(), Language::kEnglish);

    env.Set("TESSARO_LANG", "zh");
    EXPECT_EQ(texts::LanguageFromEnvironment(), Language::kChinese);
    env.Set("LC_ALL", "zh_CN.UTF-8");
    env.Set("TESSARO_LANG", "en");
    EXPECT_EQ(texts::LanguageFromEnvironment(), Language::kEnglish);
    // An override naming neither language leaves the decision to the locale.
    env.Set("TESSARO_LANG", "fr");
    EXPECT_EQ(texts::LanguageFromEnvironment(), Language::kChinese);
}

TEST(TextsLanguage, ForcedLanguageServesEveryLookup) {
    texts::SetLanguage(Language::kChinese);
    EXPECT_EQ(texts::LoadString(texts::IDS_READY), "就绪");
    EXPECT_EQ(texts::LoadMenuText(texts::ID_APP_EXIT), "退出(&X)");
    EXPECT_EQ(texts::LoadDialogText(texts::IDT_NOTICE_DONT_SHOW), "不再提示");
    EXPECT_EQ(texts::ProxyTypeName(0), "无");
    texts::SetLanguage(Language::kEnglish);
    EXPECT_EQ(texts::LoadString(texts::IDS_READY), "Ready");
    EXPECT_EQ(texts::LoadMenuText(texts::ID_APP_EXIT), "&Exit");
    EXPECT_EQ(texts::LoadDialogText(texts::IDT_NOTICE_DONT_SHOW), "Don't show again");
    EXPECT_EQ(texts::ProxyTypeName(0), "None");
}

TEST(TextsTable, UnknownIdsGiveTheResourceBlankOrNothing) {
    for (unsigned id : {0u, 105u, 61446u, 61491u, 70000u}) {
        EXPECT_EQ(texts::LoadString(id, Language::kEnglish), " ") << id;
        EXPECT_EQ(texts::LoadString(id, Language::kChinese), " ") << id;
    }
    EXPECT_EQ(texts::LoadMenuText(61447), "");
    EXPECT_EQ(texts::LoadDialogText(texts::IDT_COUNT), "");
    EXPECT_EQ(texts::ProxyTypeName(5), "");
    EXPECT_EQ(texts::ProxyTypeName(-1), "");
    // The one listed text that is a blank in one language only.
    EXPECT_EQ(texts::LoadString(texts::IDS_PAGE_BROWSE, Language::kEnglish), " ");
    EXPECT_EQ(texts::LoadString(texts::IDS_PAGE_BROWSE, Language::kChinese), "浏览");
}

// The printf conversions of a text, in order ("%%" is no conversion).
std::vector<std::string> Conversions(std::string_view text) {
    std::vector<std::string> out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            continue;
        }
        size_t j = i + 1;
        while (j < text.size() &&
               (isdigit(static_cast<unsigned char>(text[j])) || text[j] == '-')) {
            ++j;
        }
        if (j < text.size()) {
            out.emplace_back(text.substr(i, j - i + 1));
        }
        i = j;
    }
    return out;
}

// A translation whose format conversions differ from the other language's
// would hand printf the wrong arguments.
TEST(TextsTable, BothLanguagesAgreeOnFormats) {
    for (unsigned id = 0; id < 0x10100; ++id) {
        std::string_view en = texts::LoadString(id, Language::kEnglish);
        std::string_view zh = texts::LoadString(id, Language::kChinese);
        if (en != " " || zh != " ") {
            EXPECT_EQ(Conversions(en), Conversions(zh)) << "string " << id;
        }
        std::string_view men = texts::LoadMenuText(id, Language::kEnglish);
        std::string_view mzh = texts::LoadMenuText(id, Language::kChinese);
        EXPECT_EQ(men.empty(), mzh.empty()) << "menu " << id;
        if (!men.empty()) {
            EXPECT_TRUE(Conversions(men).empty() && Conversions(mzh).empty()) << "menu " << id;
        }
    }
    for (unsigned id = 0; id < texts::IDT_COUNT; ++id) {
        auto dlg = static_cast<texts::DialogTextId>(id);
        EXPECT_FALSE(texts::LoadDialogText(dlg, Language::kEnglish).empty()) << id;
        EXPECT_FALSE(texts::LoadDialogText(dlg, Language::kChinese).empty()) << id;
    }
}

TEST(TextsTable, FormatsFillAsTheirUsersExpect) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  texts::LoadString(texts::IDS_UPDATING, Language::kEnglish).data(), 42);
    EXPECT_STREQ(buf, "Updating...42%");
    std::snprintf(buf, sizeof buf,
                  texts::LoadString(texts::IDS_RECORD_COUNT, Language::kChinese).data(), 7);
    EXPECT_STREQ(buf, "本目录总共有 7 条记录");
    std::snprintf(buf, sizeof buf,
                  texts::LoadString(texts::IDS_NEXT_AUTO_UPDATE, Language::kEnglish).data(), 9, 5);
    EXPECT_STREQ(buf, "Next Update Data Time(Automatically): 09:05");
    std::snprintf(buf, sizeof buf,
                  texts::LoadString(texts::IDS_INFO_TIP_TABLE, Language::kEnglish).data(),
                  "[tag] Name", "detail");
    const std::string tip = buf;
    EXPECT_NE(tip.find("width=\"100%\""), std::string::npos);
    EXPECT_NE(tip.find("size=\"2\">[tag] Name</font>"), std::string::npos);
    EXPECT_NE(tip.find("height=\"16\">detail</td></tr></table>"), std::string::npos);

    // The numbered delete items follow one pattern per language.
    EXPECT_EQ(texts::LoadMenuText(texts::ID_DELETE_BEFORE_1_DAY, Language::kEnglish),
              "Delete All Data before 1 Day");
    EXPECT_EQ(texts::LoadMenuText(texts::ID_DELETE_LATELY_1_DAY + 9, Language::kChinese),
              "删除最近10天的数据");
}

}  // namespace
