// CGlobalConfig: the settings of kernel/global.ini, read once at start, kept
// for the whole run and written back when they change and at the end; and
// the category tree that the file describes.
//
// Every other part reads and changes the settings in place (Settings()). The
// options dialog copies the settings record before it opens and assigns the
// copy back on Cancel; the record's address never changes, which matters
// because netfetch keeps the address of its proxy record.
//
// Missing or damaged files and keys give the defaults of config_keys.h; a
// value outside its key's range counts as damaged.
//
// The desktop program, the daemon and the command line may share one home,
// so a save writes only the keys whose value differs from what this object
// last knew the file to hold (as loaded, or as it last wrote them); every
// other key keeps what another process may have written meanwhile. A run
// that changes nothing leaves the file as it was. The saves answer false
// when the file could not be written or a value was refused; the keys not
// written then stay changed and the next save tries them again.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "category_node.h"
#include "config_keys.h"
#include "ini_file.h"
#include "netfetch.h"
#include "torrent_record.h"

// The 60-byte font description record of the list font, stored as it is in
// the file. The face name is UTF-8 and zero-terminated; a height of 0 means
// that no font was chosen.
struct LOGFONT {
    int32_t lfHeight;
    int32_t lfWidth;
    int32_t lfEscapement;
    int32_t lfOrientation;
    int32_t lfWeight;
    uint8_t lfItalic;
    uint8_t lfUnderline;
    uint8_t lfStrikeOut;
    uint8_t lfCharSet;
    uint8_t lfOutPrecision;
    uint8_t lfClipPrecision;
    uint8_t lfQuality;
    uint8_t lfPitchAndFamily;
    char lfFaceName[32];
};
static_assert(sizeof(LOGFONT) == 60, "the stored font record is 60 bytes");

// The five colours as they are stored (20 bytes).
struct DataColorRecord {
    uint32_t crColor[5];
};
static_assert(sizeof(DataColorRecord) == 20, "the stored colour record is 20 bytes");

// The settings record: everything the options dialog edits, copied and
// restored as a whole.
struct SysSettings {
    // Decided at load from ShowADTime; never written as such.
    bool bShowAd = false;
    LOGFONT lfListFont{};
    int32_t nMaxDownTasks = static_cast<int32_t>(config::kMaxDownTasks.defaultValue);
    int32_t nDefaultList = static_cast<int32_t>(config::kDefaultList.defaultValue);
    // Today, yesterday, the day before, all others, and one unused.
    std::array<uint32_t, 5> crDataColor = config::kDefaultDataColors;
    int32_t nDataDelayTm = static_cast<int32_t>(config::kDataDelayTm.defaultValue);
    int32_t nDataTipWidth = static_cast<int32_t>(config::kDataTipWidth.defaultValue);
    int32_t nDataTipHeight = static_cast<int32_t>(config::kDataTipHeight.defaultValue);
    _tagProxyInfo ProxyInfo;
    int32_t bAutoUpdate = static_cast<int32_t>(config::kUpdateAuto.defaultValue);
    int32_t nUpdateCycle = static_cast<int32_t>(config::kUpdateCycle.defaultValue);
    // Seconds since 1970-01-01 UTC of the last automatic update.
    int64_t tmLastUpdate = config::kUpdateRefreshTm.defaultValue;
    int32_t bInternalWebOpen = static_cast<int32_t>(config::kInternalWebOpen.defaultValue);
    // Don't-ask-again flags of the notices.
    int32_t bNoAskExitwhenDowning = 0;
    int32_t bNoAskRefreshData = 0;
    int32_t bNoAskExitwhenAutoUpdateData = 0;
    int32_t bNoAskStartwhenAutoUpdateData = 0;
};

class CGlobalConfig : public CIniFile {
  public:
    // Seconds since 1970-01-01 UTC.
    using Clock = std::function<int64_t()>;
    static int64_t SystemClock();

    // The desktop program shows the advertising pane and keeps ShowADTime;
    // a headless front has no pane: it never shows it and leaves the key
    // alone.
    enum class Front { kDesktop, kHeadless };

    // Loads <home>/kernel/global.ini, the home being CIniFile::GetAppDir().
    CGlobalConfig();
    // Loads the given file; `clock` decides when the advertising pane shows.
    explicit CGlobalConfig(std::string strPath, Clock clock = SystemClock,
                           Front front = Front::kDesktop);
    // Saves what changed (SaveAll) and withdraws the proxy record from
    // netfetch. A front that can report a failed save saves before.
    ~CGlobalConfig() override;
    CGlobalConfig(const CGlobalConfig&) = delete;
    CGlobalConfig& operator=(const CGlobalConfig&) = delete;

    CCategoryNode& GetRoot() { return *m_pRoot; }
    SysSettings& Settings() { return m_Settings; }
    const SysSettings& Settings() const { return m_Settings; }
    int32_t GetMaximized() const { return m_bMax; }
    void SetMaximized(int32_t bMax) { m_bMax = bMax; }

    // Section readers, run by the constructor in this order.
    void LoadShowAd();
    void LoadSysCfg();
    // Ends by handing the proxy record to netfetch.
    void LoadProxy();
    void LoadUpdateData();
    void LoadWebCfg();
    void LoadNoAskAgain();

    // Section writers. SaveSysCfg writes ListFont only when a font was chosen;
    // SaveProxy writes the proxy's other keys only when its type is not 0, so
    // switching the proxy off keeps what the file held.
    [[nodiscard]] bool SaveSysCfg();
    [[nodiscard]] bool SaveProxy();
    [[nodiscard]] bool SaveUpdateData();
    [[nodiscard]] bool SaveWebCfg();
    [[nodiscard]] bool SaveNoAskAgain();
    // InterfaceCfg, then every section writer above in order, in one write.
    [[nodiscard]] bool SaveAll();

    // The keyword history of the search form, most recent first; at most
    // config::kMaxSearchList entries are read and written.
    void LoadSearchList(std::vector<std::string>& list);
    [[nodiscard]] bool SaveSearchList(const std::vector<std::string>& list);

    // Appends the name matches of every leaf's table, categories and leaves
    // in tree order.
    void SearchAllTables(const std::string& strKeyword, TorrentRecordArray& records);

    // The shared catalogue connection's data_version: when it changes,
    // another process has written the catalogue. Nullopt without a catalogue.
    std::optional<int64_t> CatalogueDataVersion();

  private:
    void Load();
    void BuildTree(int64_t nCount);
    int64_t ReadInteger(const config::KeyInfo& info, const std::string& section,
                        const std::string& key, int64_t defaultValue) const;
    int64_t ReadInteger(const config::KeyInfo& info) const;
    std::string ReadText(const config::KeyInfo& info) const;
    // Runs `puts` as one save: the keys it puts that changed are written in
    // one replacement of the file. Nested saves join the outermost one.
    bool Save(const std::function<void()>& puts);
    // Puts one key: skipped when `value` (the key's text, or the record's
    // bytes) is what the file is known to hold, else written by `write`.
    void Put(const std::string& section, const std::string& key, std::string value,
             const std::function<bool()>& write);
    void PutInteger(const config::KeyInfo& info, int64_t value);
    void PutText(const config::KeyInfo& info, const std::string& value);
    void PutRecord(const config::KeyInfo& info, const void* buffer, size_t size);
    void PutAll();

    // "section\nkey" -> the value the file is known to hold.
    std::map<std::string, std::string> m_known;
    // Keys written by the save in progress, known once it is committed.
    std::vector<std::pair<std::string, std::string>> m_written;
    bool m_bLearning = false;  // Put only learns what the file holds
    bool m_bRefused = false;   // a value of the save in progress was refused
    int m_nSaveDepth = 0;
    // ShowADTime as this run keeps it.
    int64_t m_tmShowAd = 0;

    std::unique_ptr<CCategoryNode> m_pRoot;
    int32_t m_bMax = 0;
    SysSettings m_Settings;
    Clock m_Clock;
    Front m_front;
    bool m_bProxyHandedOver = false;
};
