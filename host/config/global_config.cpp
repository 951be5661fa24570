#include "global_config.h"

#include <algorithm>
#include <bit>
#include <ctime>
#include <utility>

static_assert(std::endian::native == std::endian::little,
              "the stored records are little-endian images of the structs");

namespace {

std::string Numbered(const char* pattern, int64_t n) {
    std::string text(pattern);
    auto at = text.find("%d");
    return at == std::string::npos ? text : text.replace(at, 2, std::to_string(n));
}

std::string KeyId(const std::string& section, const std::string& key) {
    return section + '\n' + key;
}

}  // namespace

int64_t CGlobalConfig::SystemClock() {
    return static_cast<int64_t>(std::time(nullptr));
}

CGlobalConfig::CGlobalConfig() : CGlobalConfig(GetAppDir() + "kernel/global.ini") {}

CGlobalConfig::CGlobalConfig(std::string strPath, Clock clock, Front front)
    : CIniFile(std::move(strPath)),
      m_Clock(clock ? std::move(clock) : Clock(SystemClock)),
      m_front(front) {
    Load();
}

CGlobalConfig::~CGlobalConfig() {
    // Nobody is left to tell of a failure here; the fronts that can report
    // one save before they end.
    static_cast<void>(SaveAll());
    if (m_bProxyHandedOver) {
        // netfetch must not keep the address of a record about to go away.
        CDownManager::SetProxyInfo(nullptr);
    }
}

int64_t CGlobalConfig::ReadInteger(const config::KeyInfo& info, const std::string& section,
                                   const std::string& key, int64_t defaultValue) const {
    int64_t value = GetInt64(section, key, defaultValue);
    if (info.bits == 32) {
        value = static_cast<int32_t>(static_cast<uint32_t>(value));
    } else if (info.bits == 8) {
        value = static_cast<uint8_t>(value);
    }
    if (value < info.minValue || value > info.maxValue) {
        value = info.outOfRange == config::OutOfRange::kClamp
                    ? std::clamp(value, info.minValue, info.maxValue)
                    : defaultValue;
    }
    return value;
}

int64_t CGlobalConfig::ReadInteger(const config::KeyInfo& info) const {
    return ReadInteger(info, info.section, info.key, info.defaultValue);
}

std::string CGlobalConfig::ReadText(const config::KeyInfo& info) const {
    std::string text;
    GetString(info.section, info.key, text);
    return text;
}

bool CGlobalConfig::Save(const std::function<void()>& puts) {
    if (m_bLearning || m_nSaveDepth > 0) {
        puts();
        return true;
    }
    Batch batch(*this);
    ++m_nSaveDepth;
    puts();
    --m_nSaveDepth;
    const bool bCommitted = batch.Commit();
    if (bCommitted) {
        for (auto& [id, value] : m_written) {
            m_known[id] = std::move(value);
        }
    }
    m_written.clear();
    const bool bSaved = bCommitted && !m_bRefused;
    m_bRefused = false;
    return bSaved;
}

void CGlobalConfig::Put(const std::string& section, const std::string& key, std::string value,
                        const std::function<bool()>& write) {
    std::string id = KeyId(section, key);
    if (m_bLearning) {
        m_known.try_emplace(std::move(id), std::move(value));
        return;
    }
    auto known = m_known.find(id);
    if (known != m_known.end() && known->second == value) {
        return;
    }
    if (!write()) {
        m_bRefused = true;
        return;
    }
    m_written.emplace_back(std::move(id), std::move(value));
}

void CGlobalConfig::PutInteger(const config::KeyInfo& info, int64_t value) {
    Put(info.section, info.key, std::to_string(value),
        [&] { return WriteInt64(info.section, info.key, value); });
}

void CGlobalConfig::PutText(const config::KeyInfo& info, const std::string& value) {
    Put(info.section, info.key, value, [&] { return WriteString(info.section, info.key, value); });
}

void CGlobalConfig::PutRecord(const config::KeyInfo& info, const void* buffer, size_t size) {
    Put(info.section, info.key, std::string(static_cast<const char*>(buffer), size),
        [&] { return WriteStruct(info.section, info.key, buffer, size); });
}

void CGlobalConfig::Load() {
    int64_t nCount = ReadInteger(config::kFileTypeCount);
    m_pRoot = std::make_unique<CCategoryNode>(0, 0, static_cast<uint8_t>(nCount),
                                              ReadText(config::kRootName));
    m_bMax = static_cast<int32_t>(ReadInteger(config::kMaximized));
    LoadShowAd();
    LoadSysCfg();
    LoadProxy();
    LoadUpdateData();
    LoadWebCfg();
    LoadNoAskAgain();
    BuildTree(nCount);

    // What the file holds now is the base every later save compares with.
    m_bLearning = true;
    PutAll();
    m_bLearning = false;
    if (m_Settings.bShowAd) {
        // At once, so that a second start soon after does not show the pane
        // again. Should the write fail, the key stays changed and the next
        // save writes it.
        static_cast<void>(Save([this] { PutInteger(config::kShowADTime, m_tmShowAd); }));
    }
}

void CGlobalConfig::BuildTree(int64_t nCount) {
    m_pRoot->AppendChild(CCategoryNode::MakeSentinel());
    for (int64_t i = 1; i <= nCount; ++i) {
        const std::string section = Numbered(config::kCategoryName.section, i);
        std::string name;
        GetString(section, config::kCategoryName.key, name);
        auto id = static_cast<uint8_t>(
            ReadInteger(config::kCategoryId, section, config::kCategoryId.key, i));
        int64_t nSubCount = ReadInteger(config::kSubCount, section, config::kSubCount.key,
                                        config::kSubCount.defaultValue);

        auto category = std::make_unique<CCategoryNode>(id, 0, static_cast<uint8_t>(nSubCount),
                                                        std::move(name));
        category->AppendChild(CCategoryNode::MakeSentinel());
        for (int64_t j = 1; j <= nSubCount; ++j) {
            std::string leafName;
            std::string tableName;
            GetString(section, Numbered(config::kSubName.key, j), leafName);
            GetString(section, Numbered(config::kSubDbaseName.key, j), tableName);
            category->AppendChild(std::make_unique<CCategoryNode>(
                id, static_cast<uint8_t>(j), 1, std::move(leafName), std::move(tableName)));
        }
        m_pRoot->AppendChild(std::move(category));
    }
}

void CGlobalConfig::LoadShowAd() {
    m_tmShowAd = ReadInteger(config::kShowADTime);
    if (m_front == Front::kHeadless) {
        m_Settings.bShowAd = false;
        return;
    }
    const int64_t now = m_Clock();
    int64_t threshold = 0;
    m_Settings.bShowAd =
        !__builtin_sub_overflow(now, config::kShowAdInterval, &threshold) && m_tmShowAd < threshold;
    if (m_Settings.bShowAd) {
        // The file's value is the base the change is measured against.
        m_known.try_emplace(KeyId(config::kShowADTime.section, config::kShowADTime.key),
                            std::to_string(m_tmShowAd));
        m_tmShowAd = now;
    }
}

void CGlobalConfig::LoadSysCfg() {
    m_Settings.nMaxDownTasks = static_cast<int32_t>(ReadInteger(config::kMaxDownTasks));
    m_Settings.nDefaultList = static_cast<int32_t>(ReadInteger(config::kDefaultList));

    LOGFONT font{};
    if (GetStruct(config::kListFont.section, config::kListFont.key, &font, sizeof font)) {
        font.lfFaceName[sizeof font.lfFaceName - 1] = '\0';
        m_Settings.lfListFont = font;
    } else {
        m_Settings.lfListFont = LOGFONT{};
    }

    DataColorRecord colors{};
    if (GetStruct(config::kDataColor.section, config::kDataColor.key, &colors, sizeof colors)) {
        std::copy(std::begin(colors.crColor), std::end(colors.crColor),
                  m_Settings.crDataColor.begin());
    } else {
        m_Settings.crDataColor = config::kDefaultDataColors;
    }

    m_Settings.nDataDelayTm = static_cast<int32_t>(ReadInteger(config::kDataDelayTm));
    m_Settings.nDataTipWidth = static_cast<int32_t>(ReadInteger(config::kDataTipWidth));
    m_Settings.nDataTipHeight = static_cast<int32_t>(ReadInteger(config::kDataTipHeight));
}

void CGlobalConfig::LoadProxy() {
    _tagProxyInfo& proxy = m_Settings.ProxyInfo;
    proxy.nType = static_cast<uint8_t>(ReadInteger(config::kProxyType));
    proxy.strAddr = ReadText(config::kProxyAddr);
    proxy.nPort = static_cast<int32_t>(ReadInteger(config::kProxyPort));
    proxy.bAuthen = static_cast<uint8_t>(ReadInteger(config::kProxyAuthen));
    proxy.strUser = ReadText(config::kProxyUser);
    proxy.strPassword = ReadText(config::kProxyPassword);
    // The only hand-over: later edits are made in this same record.
    CDownManager::SetProxyInfo(&proxy);
    m_bProxyHandedOver = true;
}

void CGlobalConfig::LoadUpdateData() {
    m_Settings.bAutoUpdate = static_cast<int32_t>(ReadInteger(config::kUpdateAuto));
    m_Settings.nUpdateCycle = static_cast<int32_t>(ReadInteger(config::kUpdateCycle));
    m_Settings.tmLastUpdate = ReadInteger(config::kUpdateRefreshTm);
}

void CGlobalConfig::LoadWebCfg() {
    m_Settings.bInternalWebOpen = static_cast<int32_t>(ReadInteger(config::kInternalWebOpen));
}

void CGlobalConfig::LoadNoAskAgain() {
    m_Settings.bNoAskExitwhenDowning = static_cast<int32_t>(ReadInteger(config::kExitwhenDowning));
    m_Settings.bNoAskRefreshData = static_cast<int32_t>(ReadInteger(config::kRefreshData));
    m_Settings.bNoAskExitwhenAutoUpdateData =
        static_cast<int32_t>(ReadInteger(config::kExitwhenAutoUpdateData));
    m_Settings.bNoAskStartwhenAutoUpdateData =
        static_cast<int32_t>(ReadInteger(config::kStartwhenAutoUpdateData));
}

bool CGlobalConfig::SaveSysCfg() {
    return Save([this] {
        PutInteger(config::kMaxDownTasks, m_Settings.nMaxDownTasks);
        PutInteger(config::kDefaultList, m_Settings.nDefaultList);
        if (m_Settings.lfListFont.lfHeight != 0) {
            PutRecord(config::kListFont, &m_Settings.lfListFont, sizeof m_Settings.lfListFont);
        }
        DataColorRecord colors{};
        std::copy(m_Settings.crDataColor.begin(), m_Settings.crDataColor.end(), colors.crColor);
        PutRecord(config::kDataColor, &colors, sizeof colors);
        PutInteger(config::kDataDelayTm, m_Settings.nDataDelayTm);
        PutInteger(config::kDataTipWidth, m_Settings.nDataTipWidth);
        PutInteger(config::kDataTipHeight, m_Settings.nDataTipHeight);
    });
}

bool CGlobalConfig::SaveProxy() {
    return Save([this] {
        const _tagProxyInfo& proxy = m_Settings.ProxyInfo;
        PutInteger(config::kProxyType, proxy.nType);
        if (proxy.nType == 0) {
            return;
        }
        PutText(config::kProxyAddr, proxy.strAddr);
        PutInteger(config::kProxyPort, proxy.nPort);
        PutInteger(config::kProxyAuthen, proxy.bAuthen);
        PutText(config::kProxyUser, proxy.strUser);
        PutText(config::kProxyPassword, proxy.strPassword);
    });
}

bool CGlobalConfig::SaveUpdateData() {
    return Save([this] {
        PutInteger(config::kUpdateAuto, m_Settings.bAutoUpdate);
        PutInteger(config::kUpdateCycle, m_Settings.nUpdateCycle);
        PutInteger(config::kUpdateRefreshTm, m_Settings.tmLastUpdate);
    });
}

bool CGlobalConfig::SaveWebCfg() {
    return Save([this] { PutInteger(config::kInternalWebOpen, m_Settings.bInternalWebOpen); });
}

bool CGlobalConfig::SaveNoAskAgain() {
    return Save([this] {
        PutInteger(config::kExitwhenDowning, m_Settings.bNoAskExitwhenDowning);
        PutInteger(config::kRefreshData, m_Settings.bNoAskRefreshData);
        PutInteger(config::kExitwhenAutoUpdateData, m_Settings.bNoAskExitwhenAutoUpdateData);
        PutInteger(config::kStartwhenAutoUpdateData, m_Settings.bNoAskStartwhenAutoUpdateData);
    });
}

void CGlobalConfig::PutAll() {
    PutInteger(config::kMaximized, m_bMax);
    PutInteger(config::kShowADTime, m_tmShowAd);
    // The section savers only put while a save is in progress or the base
    // is being learned, so their results carry nothing here.
    static_cast<void>(SaveSysCfg());
    static_cast<void>(SaveProxy());
    static_cast<void>(SaveUpdateData());
    static_cast<void>(SaveWebCfg());
    static_cast<void>(SaveNoAskAgain());
}

bool CGlobalConfig::SaveAll() {
    return Save([this] { PutAll(); });
}

void CGlobalConfig::LoadSearchList(std::vector<std::string>& list) {
    list.clear();
    const int64_t nCount = ReadInteger(config::kSearchListCount);
    for (int64_t i = 0; i < nCount; ++i) {
        std::string keyword;
        // A missing entry leaves no hole in the history.
        if (GetString(config::kSearchListEntry.section, Numbered(config::kSearchListEntry.key, i),
                      keyword) > 0) {
            list.push_back(std::move(keyword));
        }
    }
}

bool CGlobalConfig::SaveSearchList(const std::vector<std::string>& list) {
    return Save([&] {
        const auto nCount =
            static_cast<int64_t>(std::min<size_t>(list.size(), config::kMaxSearchList));
        PutInteger(config::kSearchListCount, nCount);
        for (int64_t i = 0; i < nCount; ++i) {
            const std::string key = Numbered(config::kSearchListEntry.key, i);
            const std::string& keyword = list[static_cast<size_t>(i)];
            Put(config::kSearchListEntry.section, key, keyword,
                [&] { return WriteString(config::kSearchListEntry.section, key, keyword); });
        }
    });
}

std::optional<int64_t> CGlobalConfig::CatalogueDataVersion() {
    return CTorrentTable::DataVersion();
}

void CGlobalConfig::SearchAllTables(const std::string& strKeyword, TorrentRecordArray& records) {
    for (CCategoryNode* leaf : m_pRoot->GetLeaves()) {
        leaf->m_Table.SearchByName(strKeyword, records);
    }
}
