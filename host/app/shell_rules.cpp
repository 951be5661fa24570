#include "shell_rules.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace shell {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

constexpr unsigned kBeforeLast = texts::ID_DELETE_BEFORE_1_DAY + 9;
// The handler takes thirty "lately" ids although the menu shows ten.
constexpr unsigned kLatelyLast = texts::ID_DELETE_LATELY_1_DAY + 29;

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    bool bPlainSeen = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--home" && i + 1 < args.size()) {
            line.strHome = args[++i];
            continue;
        }
        if (arg.rfind("--home=", 0) == 0) {
            line.strHome = arg.substr(7);
            continue;
        }
        if (!arg.empty() && (arg[0] == '-' || arg[0] == '/')) {
            const std::string_view name = std::string_view(arg).substr(1);
            if (EqualsIgnoringCase(name, "RegServer")) {
                line.action = CommandLine::Action::kRegister;
            } else if (EqualsIgnoringCase(name, "UnregServer")) {
                line.action = CommandLine::Action::kUnregister;
            }
            continue;
        }
        if (!bPlainSeen) {
            bPlainSeen = true;
            line.bHidden = arg == "hide";
        }
    }
    return line;
}

std::string InstanceName(unsigned uid, const std::string& home) {
    // FNV-1a: the same in every build, unlike std::hash.
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : home) {
        hash = (hash ^ c) * 0x100000001b3ULL;
    }
    char name[96];
    std::snprintf(name, sizeof name, "tessaro-{6f1c2a4e-93d7-4b1e-a5c2-7d0e8b3f9a61}-%u-%016llx",
                  uid, static_cast<unsigned long long>(hash));
    return name;
}

TreeMenuState TreeMenuRules(const CCategoryNode* selected, bool bViewer) {
    TreeMenuState state;
    if (bViewer) {
        return state;
    }
    state.bDelete = true;
    state.bClear = selected != nullptr;
    state.bRefresh = selected != nullptr && selected->m_nCategoryId != 0;
    return state;
}

std::optional<CDeleteCommands::Command> DeleteCommandFor(unsigned menuId) {
    using Kind = CDeleteCommands::Kind;
    if (menuId >= texts::ID_DELETE_BEFORE_1_DAY && menuId <= kBeforeLast) {
        return CDeleteCommands::Command{
            Kind::kBeforeDays, static_cast<int>(menuId - texts::ID_DELETE_BEFORE_1_DAY + 1), {}};
    }
    if (menuId >= texts::ID_DELETE_LATELY_1_DAY && menuId <= kLatelyLast) {
        return CDeleteCommands::Command{
            Kind::kRecentDays, static_cast<int>(menuId - texts::ID_DELETE_LATELY_1_DAY + 1), {}};
    }
    switch (menuId) {
        case texts::ID_DELETE_BEFORE_DATE:
            return CDeleteCommands::Command{Kind::kBeforeDate, 0, {}};
        case texts::ID_DELETE_AFTER_DATE:
            return CDeleteCommands::Command{Kind::kAfterDate, 0, {}};
        case texts::ID_CLEAR_DATA:
            return CDeleteCommands::Command{Kind::kClearData, 0, {}};
        default:
            return std::nullopt;
    }
}

bool AsksForDate(unsigned menuId) {
    return menuId == texts::ID_DELETE_BEFORE_DATE || menuId == texts::ID_DELETE_AFTER_DATE;
}

std::vector<unsigned> DayDeleteItems() {
    std::vector<unsigned> ids;
    for (unsigned first :
         {unsigned{texts::ID_DELETE_BEFORE_1_DAY}, unsigned{texts::ID_DELETE_LATELY_1_DAY}}) {
        for (unsigned n = 0; n < 10; ++n) {
            ids.push_back(first + n);
        }
    }
    return ids;
}

CloseAction DecideClose(bool bAutoUpdate, bool bRefreshActive) {
    if (bAutoUpdate) {
        return CloseAction::kHideForAutoUpdate;
    }
    return bRefreshActive ? CloseAction::kHideUntilRefreshEnds : CloseAction::kEnd;
}

size_t StartupCategoryPosition(size_t nCategories) {
    return std::min<size_t>(nCategories, 2);
}

std::string FormatCount(std::string_view format, int64_t value) {
    std::string text(format);
    const size_t at = text.find("%d");
    if (at != std::string::npos) {
        text.replace(at, 2, std::to_string(value));
    }
    return text;
}

std::string_view LoadShellText(ShellText id, texts::Language language) {
    const bool zh = language == texts::Language::kChinese;
    switch (id) {
        case ShellText::kViewer:
            return zh ? "后台更新程序(进程 %d)正在更新此目录的数据: 更新和删除命令已停用。"
                      : "The background refresher (process %d) is updating this home: refresh "
                        "and delete are off.";
        case ShellText::kTrayShow:
            return zh ? "显示(&S)" : "&Show";
        case ShellText::kAutoUpdateElsewhere:
            return zh ? "自动更新由后台更新程序(进程 %d)进行"
                      : "Automatic update left to the background refresher (process %d)";
        case ShellText::kSettingsNotSaved:
            return zh ? "设置未能保存，下次保存时将重试。"
                      : "The settings could not be saved; they are tried again at the next save.";
        case ShellText::kAutostartNotChanged:
            return zh ? "未能更改随系统启动的设置:"
                      : "The start with the system could not be changed:";
    }
    return {};
}

std::string ViewerSentence(long pid, texts::Language language) {
    return FormatCount(LoadShellText(ShellText::kViewer, language), pid);
}

std::string ChooseListFontFamily(const std::vector<std::string>& available) {
    for (std::string_view wanted : {"宋体", "SimSun", "Noto Sans CJK SC", "Noto Serif CJK SC",
                                    "WenQuanYi Zen Hei", "Droid Sans Fallback"}) {
        if (std::find(available.begin(), available.end(), wanted) != available.end()) {
            return std::string(wanted);
        }
    }
    return {};
}

}  // namespace shell
