// The program's interface texts in its two languages, English and Simplified
// Chinese (UTF-8). The core and the command line take every user-visible
// sentence from here; the GUI takes its menus and dialog labels too.
//
// The language follows the environment: TESSARO_LANG=en or zh decides when
// set; otherwise the first of LC_ALL, LC_MESSAGES and LANG that is set and
// not empty chooses Chinese when it starts with "zh", English otherwise.
//
// Every text is a string literal: the views stay valid for the whole run and
// are zero-terminated, so `.data()` can be handed to printf-style formatting.
// Texts with "%d", "%02d", "%s" or "%%" are format strings; "&" marks a
// menu mnemonic.
#pragma once

#include <string_view>

namespace texts {

enum class Language { kEnglish, kChinese };

// The language of the environment (read at every call).
Language LanguageFromEnvironment();
// The language in use: the one forced by SetLanguage, else the environment's
// as it was at the first call.
Language GetLanguage();
// Forces a language for the rest of the run (tests, a command-line option).
void SetLanguage(Language language);

// String resource ids.
enum StringId : unsigned {
    IDS_SOCKET_INIT_FAILED = 104,
    IDS_APP_TITLE = 57344,
    IDS_READY = 57345,
    IDS_COL_INDEX = 61447,
    IDS_COL_ADDDATE = 61448,
    IDS_COL_NAME = 61449,
    IDS_COL_SIZE = 61450,
    IDS_COL_REFRESHDATE = 61451,
    IDS_COL_SEEDS = 61452,
    IDS_COL_PEERS = 61453,
    IDS_COL_PERCENT = 61454,
    IDS_DATE_FORMAT = 61461,
    IDS_FIRST_PAGE = 61464,
    IDS_NEXT_PAGE = 61465,
    IDS_PREV_PAGE = 61466,
    IDS_LAST_PAGE = 61467,
    IDS_REFRESH_DATA = 61468,
    IDS_UPDATING = 61469,
    IDS_TAB_TORRENT_LIST = 61473,
    IDS_TAB_DOWNLOAD_TASKS = 61474,
    IDS_TAB_SEARCH = 61475,
    IDS_TAB_BROWSE = 61476,
    IDS_CAPTION_INFORMATION = 61478,
    IDS_CAPTION_WARNING = 61479,
    IDS_CAPTION_ERROR = 61480,
    IDS_NO_BT_CLIENT = 61481,
    IDS_TORRENT_MISSING = 61482,
    IDS_START_SEARCH = 61484,
    IDS_STOP_SEARCH = 61485,
    IDS_NO_KEYWORD = 61486,
    IDS_RECORD_COUNT = 61489,
    IDS_CONFIRM_DELETE = 61490,
    IDS_PAGE_GENERAL = 61492,
    IDS_PAGE_PROXY = 61493,
    IDS_PAGE_REFRESH = 61494,
    IDS_PAGE_BROWSE = 61495,
    IDS_INFO_TIP_TABLE = 61503,
    IDS_INFO_TIP = 61506,
    IDS_NOTE_EXIT_WHILE_UPDATING = 61511,
    IDS_NOTE_REFRESH = 61512,
    IDS_NOTE_AUTO_UPDATE_RUNS = 61514,
    IDS_NOTE_AUTO_UPDATE_INTRO = 61515,
    IDS_AUTO_UPDATING = 61516,
    IDS_NEXT_AUTO_UPDATE = 61517,
    IDS_TESTING_CONNECTION = 61518,
};

// String resource `id` in the language in use. Ids without a text give a
// single blank, as the resource table holds for them.
std::string_view LoadString(unsigned id);
std::string_view LoadString(unsigned id, Language language);

// Menu item ids. Items carry their command ids; pop-up menus and the task
// list's variant of "Open Torrent File" have no command id and are numbered
// above the 16-bit range, where no command can be.
enum MenuId : unsigned {
    ID_REFRESH_DATA = 32771,
    ID_CLEAR_DATA = 32772,
    ID_DOWNLOAD_AND_OPEN = 32773,
    ID_DOWNLOAD_TORRENT = 32774,
    ID_STOP_DOWNLOAD = 32775,
    ID_OPEN_TORRENT = 32776,
    ID_START_DOWNLOAD = 32777,
    ID_AUTO_OPEN = 32778,
    ID_VIEW_WEB_PAGE = 32779,
    ID_HELP_CONTENTS = 32780,
    ID_DELETE_BEFORE_1_DAY = 32781,  // through 32790: 1 to 10 days
    ID_OPTIONS_SETTINGS = 32796,
    ID_DELETE_TASK = 32797,
    ID_DELETE_LATELY_1_DAY = 32899,  // through 32908: 1 to 10 days
    ID_DELETE_BEFORE_DATE = 32929,
    ID_DELETE_AFTER_DATE = 32930,
    ID_DELETE_ROWS = 32931,
    ID_DELETE_ALL_ROWS = 32932,
    ID_CLOSE_PAGE = 32933,
    ID_CLOSE_ALL_PAGES = 32934,
    ID_CLOSE_OTHER_PAGES = 32935,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_VIEW_STATUS_BAR = 59393,
    ID_POPUP_FILE = 0x10000,
    ID_POPUP_OPTIONS,
    ID_POPUP_BTSITES,
    ID_POPUP_VIEW,
    ID_POPUP_HELP,
    ID_POPUP_DELETE_DATA,
    ID_TASK_OPEN_TORRENT,
};

// Menu text of `id`; an id that is no menu item gives an empty text.
std::string_view LoadMenuText(unsigned id);
std::string_view LoadMenuText(unsigned id, Language language);

// Labels of the dialogs, by dialog.
enum DialogTextId : unsigned {
    IDT_ABOUT_CAPTION,
    IDT_ABOUT_OK,
    IDT_ABOUT_HOME,
    IDT_ABOUT_MAIL,
    IDT_ABOUT_VERSION,
    IDT_HELP_CAPTION,
    IDT_HELP_OK,
    IDT_SEARCH_START,
    IDT_OPTIONS_CAPTION,
    IDT_OPTIONS_OK,
    IDT_OPTIONS_CANCEL,
    IDT_GENERAL_FONT,
    IDT_GENERAL_CHANGE_FONT,
    IDT_GENERAL_MAX_TASKS,
    IDT_GENERAL_DEFAULT_LIST,
    IDT_GENERAL_COLOR_TODAY,
    IDT_GENERAL_COLOR_YESTERDAY,
    IDT_GENERAL_COLOR_BEFORE_YESTERDAY,
    IDT_GENERAL_COLOR_OTHER,
    IDT_GENERAL_GROUP,
    IDT_GENERAL_COLOR_GROUP,
    IDT_GENERAL_DELAY_BEFORE,
    IDT_GENERAL_DELAY_AFTER,
    IDT_NOTICE_CLOSE,
    IDT_NOTICE_DONT_SHOW,
    IDT_PROXY_GROUP,
    IDT_PROXY_AUTHEN,
    IDT_PROXY_TYPE,
    IDT_PROXY_ADDR,
    IDT_PROXY_PORT,
    IDT_PROXY_USER,
    IDT_PROXY_PASSWORD,
    IDT_REFRESH_ENABLE,
    IDT_REFRESH_CYCLE,
    IDT_REFRESH_HOURS,
    IDT_REFRESH_NOTE,
    IDT_DATE_CAPTION,
    IDT_DATE_OK,
    IDT_DATE_CANCEL,
    IDT_BROWSE_INTERNAL,
    IDT_COUNT
};

std::string_view LoadDialogText(DialogTextId id);
std::string_view LoadDialogText(DialogTextId id, Language language);

// Name of proxy type 0..4 for the proxy type list; empty for other values.
std::string_view ProxyTypeName(int type);
std::string_view ProxyTypeName(int type, Language language);

}  // namespace texts
