#include "texts.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <string>

namespace texts {
namespace {

struct Text {
    unsigned id;
    std::string_view en;
    std::string_view zh;
};

template <size_t N>
constexpr bool SortedUnique(const std::array<Text, N>& table) {
    for (size_t i = 1; i < N; ++i) {
        if (table[i - 1].id >= table[i].id) {
            return false;
        }
    }
    return true;
}

constexpr std::array kStrings = std::to_array<Text>({
    {104, "Windows socket init failed.", "Windows 通信端口初始化失败。"},
    {57344, "Tessaro", "Tessaro"},
    {57345, "Ready", "就绪"},
    {61447, "Index", "序号"},
    {61448, "AddDate", "添加时间"},
    {61449, "Name(Double click to download torrent file)", "名称(双击下载Torrent文件)"},
    {61450, "Size", "大小"},
    {61451, "RefreshDate", "刷新时间"},
    {61452, "Seeds", "种子数"},
    {61453, "Peers", "用户数"},
    {61454, " Percent", " 完成数"},
    {61461, "%m-%d %H:%M:%S", "%m-%d %H:%M:%S"},
    {61464, "FirstPage", "第一页"},
    {61465, "NextPage", "下一页"},
    {61466, "PrevPage", "上一页"},
    {61467, "LastPage", "最后页"},
    {61468, "RefreshData", "更新数据"},
    {61469, "Updating...%d%%", "正在更新数据...%d%%"},
    {61473, "TorrentList", "数据列表"},
    {61474, "DownloadTasks", "下载任务"},
    {61475, "SearchTorrent", "搜索"},
    {61476, "Browse", "浏览"},
    {61478, "Information", "信息"},
    {61479, "Warning", "警告"},
    {61480, "Error", "错误"},
    // The page and the client offered to a user without a torrent program.
    {61481,
     "Can not open torrent file! Maybe you still have not install BT client, you can download it "
     "from https://www.qbittorrent.org/download.",
     "打开文件失败，或许你还没有安装BT下载软件，请到https://www.qbittorrent.org/"
     "download上下载qBittorrent"},
    {61482, "Can not open torrent file! Perhaps it doesn't exist.",
     "打开文件失败，文件可能不存在，请重新下载"},
    {61484, "StartSearch", "开始搜索"},
    {61485, "StopSearch", "停止搜索"},
    {61486, "Please input keyword", "请输入搜索字符串"},
    {61489, " %d Record in this folder", "本目录总共有 %d 条记录"},
    {61490, "Do you want to delete the data?", "您是否要删除数据?"},
    {61492, "General", "常规"},
    {61493, "Proxy", "代理"},
    {61494, "Refresh", "更新"},
    {61495, " ", "浏览"},
    {61503,
     "<table border=\"0\" cellpadding=\"0\" cellspacing=\"0\" style=\"border-collapse: collapse\" "
     "bordercolor=\"#111111\" width=\"100%%\" id=\"AutoNumber1\" height=\"1\"><tr><td "
     "width=\"100%%\" height=\"16\"><p align=\"center\"><font color=\"#0000FF\" "
     "size=\"2\">%s</font></td></tr><tr><td width=\"100%%\" height=\"1\"><hr></td></tr><tr><td "
     "width=\"100%%\" height=\"16\">%s</td></tr></table>",
     "<table border=\"0\" cellpadding=\"0\" cellspacing=\"0\" style=\"border-collapse: collapse\" "
     "bordercolor=\"#111111\" width=\"100%%\" id=\"AutoNumber1\" height=\"1\"><tr><td "
     "width=\"100%%\" height=\"16\"><p align=\"center\"><font color=\"#0000FF\" "
     "size=\"2\">%s</font></td></tr><tr><td width=\"100%%\" height=\"1\"><hr></td></tr><tr><td "
     "width=\"100%%\" height=\"16\">%s</td></tr></table>"},
    {61506, "Info Tip", "信息提示"},
    {61511,
     "\r\n\r\n\r\nTessaro will update data in background. When update is completed, it will exit "
     "automatically.",
     "\r\n\r\n\r\n应用程序将转为后台更新数据，更新完毕后会自动退出。"},
    {61512,
     "\r\nWhen updating, Tessaro will deal with a large number of the torrent data. You had better "
     "not make other operations before updating complete.",
     "\r\n在刷新数据时，由于所需要处理的数据量比较大，此时会消耗一定的系统资源，对本软件的其他操作"
     "最好等更新完毕后再进行。"},
    {61514,
     "You have enabled automatic update data option, Tessaro will run in background and update "
     "data periodically.",
     "您已经启用了自动更新数据功能，Tessaro将转为后台运行，以保证实时更新数据。"},
    {61515,
     "Since Tessaro V1.25, it has a new function, Automatic update Torrent data function. After "
     "you enable this function, Tessaro will run in background automatically when system startup. "
     "And it will update data periodically in background. You can go to Menu \"Options\" "
     "->\"Settings\"->\"Refresh\" to enable this function.\n",
     "Tessaro自V1."
     "25版本起增加了自动更新数据功能，启用自动更新数据选项以后，Tessaro就会在系统启动时就开始后台运"
     "行，每隔指定的时间间隔就会自动开始更新全部BT数据，确保实时更新，使得让您每次打开Tessaro软件界"
     "面的时候看到的就是最新的数据，省去每次都要手动更新的麻烦。请到\"系统设置\"页面启用此设置。"},
    {61516, "Updating Data now...(Automatically)", "正在自动更新数据..."},
    {61517, "Next Update Data Time(Automatically): %02d:%02d", "下次自动更新数据时间: %02d:%02d"},
    {61518, "Testing Connection...", "正在测试连接..."},
});
static_assert(SortedUnique(kStrings), "string ids must ascend");

constexpr std::array kMenus = std::to_array<Text>({
    {32771, "&Refresh Data", "更新数据"},
    {32772, "&Clear Data", "清空数据"},
    {32773, "&Download and Open Torrent File", "下载并打开Torrent文件(&O)"},
    {32774, "D&ownload Torrent File", "下载Torrent文件(&D)"},
    {32775, "S&top Download", "停止下载(&S)"},
    {32776, "O&pen Torrent File", "打开Torrent文件(&P)"},
    {32777, "&Start Download", "开始下载(&D)"},
    {32778, "&Auto Open Torrent File when Download Completed", "当下载完毕时自动打开Torrent文件"},
    {32779, "&View Web Page", "查看网页(&W)"},
    {32780, "&Help", "帮助(&H)"},
    {32781, "Delete All Data before 1 Day", "删除1天前所有数据"},
    {32782, "Delete All Data before 2 Days", "删除2天前所有数据"},
    {32783, "Delete All Data before 3 Days", "删除3天前所有数据"},
    {32784, "Delete All Data before 4 Days", "删除4天前所有数据"},
    {32785, "Delete All Data before 5 Days", "删除5天前所有数据"},
    {32786, "Delete All Data before 6 Days", "删除6天前所有数据"},
    {32787, "Delete All Data before 7 Days", "删除7天前所有数据"},
    {32788, "Delete All Data before 8 Days", "删除8天前所有数据"},
    {32789, "Delete All Data before 9 Days", "删除9天前所有数据"},
    {32790, "Delete All Data before 10 Days", "删除10天前所有数据"},
    {32796, "&Settings", "系统设置(&S)"},
    {32797, "&Delete Task", "删除任务(&E)"},
    {32899, "Delete All Data in 1 Day lately", "删除最近1天的数据"},
    {32900, "Delete All Data in 2 Days lately", "删除最近2天的数据"},
    {32901, "Delete All Data in 3 Days lately", "删除最近3天的数据"},
    {32902, "Delete All Data in 4 Days lately", "删除最近4天的数据"},
    {32903, "Delete All Data in 5 Days lately", "删除最近5天的数据"},
    {32904, "Delete All Data in 6 Days lately", "删除最近6天的数据"},
    {32905, "Delete All Data in 7 Days lately", "删除最近7天的数据"},
    {32906, "Delete All Data in 8 Days lately", "删除最近8天的数据"},
    {32907, "Delete All Data in 9 Days lately", "删除最近9天的数据"},
    {32908, "Delete All Data in 10 Days lately", "删除最近10天的数据"},
    {32929, "Delete All Data before Date...", "删除指定日期前所有数据"},
    {32930, "Delete All Data after Date...", "删除指定日期后所有数据"},
    {32931, "D&elete", "删除(&E)"},
    {32932, "Delete &All", "删除所有(&A)"},
    {32933, "&Close", "关闭(&C)"},
    {32934, "Close &All", "关闭所有(&A)"},
    {32935, "Close &Others", "关闭其他(&O)"},
    {57664, "&About Tessaro", "关于 Tessaro(&A)..."},
    {57665, "&Exit", "退出(&X)"},
    {59393, "&StatusBar", "状态栏(&S)"},
    {ID_POPUP_FILE, "&File", "文件(&F)"},
    {ID_POPUP_OPTIONS, "&Options", "选项(&O)"},
    {ID_POPUP_BTSITES, "&BTSites", "常用BT站点"},
    {ID_POPUP_VIEW, "&View", "查看(&V)"},
    {ID_POPUP_HELP, "&Help", "帮助(&H)"},
    {ID_POPUP_DELETE_DATA, "&Delete Data", "删除数据"},
    {ID_TASK_OPEN_TORRENT, "&Open Torrent File", "打开Torrent文件(&P)"},
});
static_assert(SortedUnique(kMenus), "menu ids must ascend");

constexpr std::array kDialogTexts = std::to_array<Text>({
    {IDT_ABOUT_CAPTION, "About Tessaro", "关于 Tessaro"},
    {IDT_ABOUT_OK, "OK", "确定"},
    {IDT_ABOUT_HOME, "Homepage:", "主页:"},
    {IDT_ABOUT_MAIL, "E-mail:", "邮箱:"},
    {IDT_ABOUT_VERSION, "Version: 1.26", "版本: v1.27"},
    {IDT_HELP_CAPTION, "Help", "帮助"},
    {IDT_HELP_OK, "OK", "确定"},
    {IDT_SEARCH_START, "StartSearch", "开始搜索"},
    {IDT_OPTIONS_CAPTION, "Tessaro Settings", "Tessaro 选项"},
    {IDT_OPTIONS_OK, "OK", "确定"},
    {IDT_OPTIONS_CANCEL, "Cancel", "取消"},
    {IDT_GENERAL_FONT, "TorrentList Font:", "数据列表字体:"},
    {IDT_GENERAL_CHANGE_FONT, "ChangeFont", "更改字体"},
    {IDT_GENERAL_MAX_TASKS, "Max Download Tasks:", "最大同时下载任务数:"},
    {IDT_GENERAL_DEFAULT_LIST, "Default Visible List:", "启动时默认显示列表:"},
    {IDT_GENERAL_COLOR_TODAY, "Today's Data Color", "今天的数据颜色"},
    {IDT_GENERAL_COLOR_YESTERDAY, "Yesterday's Data Color", "昨天的数据颜色"},
    {IDT_GENERAL_COLOR_BEFORE_YESTERDAY, "The Day before Yesterday's Data Color", "前天的数据颜色"},
    {IDT_GENERAL_COLOR_OTHER, "Other's Data Color", "其他数据颜色"},
    {IDT_GENERAL_GROUP, "General", "常用"},
    {IDT_GENERAL_COLOR_GROUP, "Color", "颜色"},
    {IDT_GENERAL_DELAY_BEFORE, "After the cursor rest for", "当鼠标静止"},
    {IDT_GENERAL_DELAY_AFTER, "ms, show the info tip window.", "毫秒后显示数据信息窗口"},
    {IDT_NOTICE_CLOSE, "Close", "关闭"},
    {IDT_NOTICE_DONT_SHOW, "Don't show again", "不再提示"},
    {IDT_PROXY_GROUP, "Proxy Server", "代理服务器"},
    {IDT_PROXY_AUTHEN, "Need Authenticatoin", "需要验证"},
    {IDT_PROXY_TYPE, "Proxy Type:", "服务器类型:"},
    {IDT_PROXY_ADDR, "Proxy IP:", "服务器地址:"},
    {IDT_PROXY_PORT, "Proxy Port:", "服务器端口:"},
    {IDT_PROXY_USER, "User:", "用户名:"},
    {IDT_PROXY_PASSWORD, "Password:", "密码:"},
    {IDT_REFRESH_ENABLE, "Enable AutoUpdate Data ", "启用自动更新数据"},
    {IDT_REFRESH_CYCLE, "AutoUpdate Cycle:", "自动更新时间间隔:"},
    {IDT_REFRESH_HOURS, "Hour(s)", "小时"},
    {IDT_REFRESH_NOTE,
     "Note: After you enable this function, Tessaro will run in background automatically when "
     "system startup. And it will update data periodically in background.",
     "说明: "
     "启用自动更新数据选项以后，Tessaro就会在系统启动时就开始后台运行，每隔指定的时间间隔就会自动开"
     "始更新全部BT数据，确保实时更新，使得让您每次打开Tessaro软件界面的时候看到的就是最新的数据，省"
     "去每次都要手动更新的麻烦。"},
    {IDT_DATE_CAPTION, "Set Date", "指定日期"},
    {IDT_DATE_OK, "OK", "确定"},
    {IDT_DATE_CANCEL, "Cancel", "取消"},
    {IDT_BROWSE_INTERNAL, "Open Link in Internal Browser", "使用内部浏览器打开网页链接"},
});
static_assert(kDialogTexts.size() == IDT_COUNT, "one text per dialog label");
static_assert(SortedUnique(kDialogTexts), "dialog texts must follow their ids");

constexpr std::array kProxyTypes = std::to_array<Text>({
    {0, "None", "无"},
    {1, "Socks4", "Socks4"},
    {2, "Socks4a", "Socks4a"},
    {3, "Socks5", "Socks5"},
    {4, "HTTP1.1", "HTTP1.1"},
});

template <size_t N>
const Text* Find(const std::array<Text, N>& table, unsigned id) {
    auto it = std::lower_bound(table.begin(), table.end(), id,
                               [](const Text& t, unsigned value) { return t.id < value; });
    return it != table.end() && it->id == id ? &*it : nullptr;
}

std::string_view Pick(const Text* text, Language language, std::string_view missing) {
    if (!text) {
        return missing;
    }
    return language == Language::kChinese ? text->zh : text->en;
}

std::optional<Language>& Forced() {
    static std::optional<Language> forced;
    return forced;
}

}  // namespace

Language LanguageFromEnvironment() {
    auto starts = [](const char* value, const char* prefix) {
        return std::string_view(value).substr(0, std::string_view(prefix).size()) == prefix;
    };
    if (const char* lang = std::getenv("TESSARO_LANG"); lang && *lang) {
        if (starts(lang, "zh")) {
            return Language::kChinese;
        }
        if (starts(lang, "en")) {
            return Language::kEnglish;
        }
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            return starts(value, "zh") ? Language::kChinese : Language::kEnglish;
        }
    }
    return Language::kEnglish;
}

Language GetLanguage() {
    std::optional<Language>& forced = Forced();
    if (!forced) {
        forced = LanguageFromEnvironment();
    }
    return *forced;
}

void SetLanguage(Language language) {
    Forced() = language;
}

std::string_view LoadString(unsigned id) {
    return LoadString(id, GetLanguage());
}

std::string_view LoadString(unsigned id, Language language) {
    return Pick(Find(kStrings, id), language, " ");
}

std::string_view LoadMenuText(unsigned id) {
    return LoadMenuText(id, GetLanguage());
}

std::string_view LoadMenuText(unsigned id, Language language) {
    return Pick(Find(kMenus, id), language, "");
}

std::string_view LoadDialogText(DialogTextId id) {
    return LoadDialogText(id, GetLanguage());
}

std::string_view LoadDialogText(DialogTextId id, Language language) {
    return Pick(Find(kDialogTexts, id), language, "");
}

std::string_view ProxyTypeName(int type) {
    return ProxyTypeName(type, GetLanguage());
}

std::string_view ProxyTypeName(int type, Language language) {
    if (type < 0) {
        return "";
    }
    return Pick(Find(kProxyTypes, static_cast<unsigned>(type)), language, "");
}

}  // namespace texts
