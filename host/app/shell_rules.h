// The rules the desktop program's widgets follow, kept free of Qt so that
// they are tested on their own: the command line, the single-instance name,
// what the category tree's menu offers, what its delete items do, what
// closing the window means, and the few texts of the window that the core's
// string table does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "category_node.h"
#include "delete_commands.h"
#include "texts.h"

namespace shell {

struct CommandLine {
    enum class Action { kRun, kRegister, kUnregister };
    Action action = Action::kRun;
    // "hide" as the first plain parameter: start minimised and hidden.
    bool bHidden = false;
    // --home DIR or --home=DIR; empty when not given.
    std::string strHome;
};

// `args` without the program name. Switches start with '-' or '/';
// "RegServer" and "UnregServer" are matched in any case, "hide" only as
// written and only as the first plain parameter.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The local-socket name that one running program per user and home
// listens on.
std::string InstanceName(unsigned uid, const std::string& home);

// The one request a second start sends to the first.
inline constexpr std::string_view kShowRequest = "show\n";

struct TreeMenuState {
    bool bRefresh = false;
    bool bClear = false;
    bool bDelete = false;
};
// A viewer (another process refreshes the home) may neither refresh nor
// delete. Without a selection the delete items only prune the torrent
// folder, so they stay on.
TreeMenuState TreeMenuRules(const CCategoryNode* selected, bool bViewer);

// The delete command of a tree menu id (the day items, the two date items
// with their day still to pick, Clear Data); nullopt for other ids.
std::optional<CDeleteCommands::Command> DeleteCommandFor(unsigned menuId);
bool AsksForDate(unsigned menuId);
// The numbered delete items in menu order: ten "before", then ten "lately".
std::vector<unsigned> DayDeleteItems();

enum class CloseAction {
    kHideForAutoUpdate,     // automatic update keeps the program running
    kHideUntilRefreshEnds,  // end once the running refresh is over
    kEnd,
};
CloseAction DecideClose(bool bAutoUpdate, bool bRefreshActive);

// Position under the root of the category selected after start: the second
// category, the first when there is only one, 0 (none) without categories.
size_t StartupCategoryPosition(size_t nCategories);

// `format` with its "%d" replaced by `value`.
std::string FormatCount(std::string_view format, int64_t value);

enum class ShellText {
    kViewer,  // "%d": the process id of the refresher
    kTrayShow,
    kAutoUpdateElsewhere,  // "%d": the process id of the refresher
    kSettingsNotSaved,
    kAutostartNotChanged,  // followed by the reason
};
std::string_view LoadShellText(ShellText id, texts::Language language);
std::string ViewerSentence(long pid, texts::Language language);

// The list font's family: the face the lists were designed for when the
// desktop has it, else the first CJK-capable face it has, else the
// desktop's default (empty).
std::string ChooseListFontFamily(const std::vector<std::string>& available);

}  // namespace shell
