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

}  // namespace

int64_t CGlobalConfig::SystemClock() {
    return static_cast<int64_t>(std::time(nullptr));
}

CGlobalConfig::CGlobalConfig() : CGlobalConfig(GetAppDir() + "kernel/global.ini") {}

CGlobalConfig::CGlobalConfig(std::string strPath, Clock clock)
    : CIniFile(std::move(strPath)), m_Clock(clock ? std::move(clock) : Clock(SystemClock)) {
    Load();
}

CGlobalConfig::~CGlobalConfig() {
    SaveAll();
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

void CGlobalConfig::WriteInteger(const config::KeyInfo& info, int64_t value) {
    WriteInt64(info.section, info.key, value);
}

void CGlobalConfig::WriteText(const config::KeyInfo& info, const std::string& value) {
    WriteString(info.section, info.key, value);
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
    const int64_t now = m_Clock();
    const int64_t shown = ReadInteger(config::kShowADTime);
    int64_t threshold = 0;
    m_Settings.bShowAd =
        !__builtin_sub_overflow(now, config::kShowAdInterval, &threshold) && shown < threshold;
    if (m_Settings.bShowAd) {
        WriteInteger(config::kShowADTime, now);
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

void CGlobalConfig::SaveSysCfg() {
    Batch batch(*this);
    WriteInteger(config::kMaxDownTasks, m_Settings.nMaxDownTasks);
    WriteInteger(config::kDefaultList, m_Settings.nDefaultList);
    if (m_Settings.lfListFont.lfHeight != 0) {
        WriteStruct(config::kListFont.section, config::kListFont.key, &m_Settings.lfListFont,
                    sizeof m_Settings.lfListFont);
    }
    DataColorRecord colors{};
    std::copy(m_Settings.crDataColor.begin(), m_Settings.crDataColor.end(), colors.crColor);
    WriteStruct(config::kDataColor.section, config::kDataColor.key, &colors, sizeof colors);
    WriteInteger(config::kDataDelayTm, m_Settings.nDataDelayTm);
    WriteInteger(config::kDataTipWidth, m_Settings.nDataTipWidth);
    WriteInteger(config::kDataTipHeight, m_Settings.nDataTipHeight);
}

void CGlobalConfig::SaveProxy() {
    Batch batch(*this);
    const _tagProxyInfo& proxy = m_Settings.ProxyInfo;
    WriteInteger(config::kProxyType, proxy.nType);
    if (proxy.nType == 0) {
        return;
    }
    WriteText(config::kProxyAddr, proxy.strAddr);
    WriteInteger(config::kProxyPort, proxy.nPort);
    WriteInteger(config::kProxyAuthen, proxy.bAuthen);
    WriteText(config::kProxyUser, proxy.strUser);
    WriteText(config::kProxyPassword, proxy.strPassword);
}

void CGlobalConfig::SaveUpdateData() {
    Batch batch(*this);
    WriteInteger(config::kUpdateAuto, m_Settings.bAutoUpdate);
    WriteInteger(config::kUpdateCycle, m_Settings.nUpdateCycle);
    WriteInteger(config::kUpdateRefreshTm, m_Settings.tmLastUpdate);
}

void CGlobalConfig::SaveWebCfg() {
    Batch batch(*this);
    WriteInteger(config::kInternalWebOpen, m_Settings.bInternalWebOpen);
}

void CGlobalConfig::SaveNoAskAgain() {
    Batch batch(*this);
    WriteInteger(config::kExitwhenDowning, m_Settings.bNoAskExitwhenDowning);
    WriteInteger(config::kRefreshData, m_Settings.bNoAskRefreshData);
    WriteInteger(config::kExitwhenAutoUpdateData, m_Settings.bNoAskExitwhenAutoUpdateData);
    WriteInteger(config::kStartwhenAutoUpdateData, m_Settings.bNoAskStartwhenAutoUpdateData);
}

void CGlobalConfig::SaveAll() {
    Batch batch(*this);
    WriteInteger(config::kMaximized, m_bMax);
    SaveSysCfg();
    SaveProxy();
    SaveUpdateData();
    SaveWebCfg();
    SaveNoAskAgain();
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

void CGlobalConfig::SaveSearchList(const std::vector<std::string>& list) {
    Batch batch(*this);
    const auto nCount = static_cast<int64_t>(std::min<size_t>(list.size(), config::kMaxSearchList));
    WriteInteger(config::kSearchListCount, nCount);
    for (int64_t i = 0; i < nCount; ++i) {
        WriteString(config::kSearchListEntry.section, Numbered(config::kSearchListEntry.key, i),
                    list[static_cast<size_t>(i)]);
    }
}

void CGlobalConfig::SearchAllTables(const std::string& strKeyword, TorrentRecordArray& records) {
    for (CCategoryNode* leaf : m_pRoot->GetLeaves()) {
        leaf->m_Table.SearchByName(strKeyword, records);
    }
}

std::optional<int64_t> CGlobalConfig::CatalogueDataVersion() {
    return CTorrentTable::GetDataVersion();
}
