#include "plugin_host.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string_view>
#include <utility>

#include "texts.h"

namespace {

constexpr const char* kSectionDll = "DLL";

// Decimal digits with an optional sign and surrounding blanks.
bool IsWholeNumber(const std::string& strText) {
    const size_t nBegin = strText.find_first_not_of(" \t");
    const size_t nEnd = strText.find_last_not_of(" \t");
    if (nBegin == std::string::npos) {
        return false;
    }
    size_t i = nBegin + (strText[nBegin] == '-' || strText[nBegin] == '+' ? 1 : 0);
    if (i > nEnd) {
        return false;
    }
    for (; i <= nEnd; ++i) {
        if (strText[i] < '0' || strText[i] > '9') {
            return false;
        }
    }
    return true;
}
// The tip file's number steps by this until a free name is found.
constexpr long kInfoTipNameStep = 100;
constexpr int kInfoTipNameTries = 1000;

// A plug-in beyond the end of a handle array has no search of it and is
// asked as for an unknown handle.
SearchHandle HandleOf(const PluginHost::SearchHandles& handles, int nDllID) {
    return static_cast<size_t>(nDllID) < handles.size() ? handles[nDllID] : kNoSearch;
}

template <typename Fn>
bool Bind(void* pModule, const char* pszName, Fn& pfn) {
    pfn = reinterpret_cast<Fn>(dlsym(pModule, pszName));
    return pfn != nullptr;
}

// The record's name as HTML text: a site's title is text, and markup in it
// (a script among them) must show as written.
std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The tip string holds two %s (name, then the information text) and %% for
// literal percent signs; the texts are inserted as given.
std::string FormatInfoTip(const std::string& strFormat, const std::string& strName,
                          const std::string& strInfo) {
    std::string strOut;
    const std::string* args[] = {&strName, &strInfo};
    size_t nArg = 0;
    for (size_t i = 0; i < strFormat.size(); ++i) {
        if (strFormat[i] == '%' && i + 1 < strFormat.size()) {
            const char cNext = strFormat[i + 1];
            if (cNext == '%') {
                strOut += '%';
                ++i;
                continue;
            }
            if (cNext == 's') {
                if (nArg < 2) {
                    strOut += *args[nArg++];
                }
                ++i;
                continue;
            }
        }
        strOut += strFormat[i];
    }
    return strOut;
}

}  // namespace

void PluginHost::ModuleCloser::operator()(void* pModule) const {
    dlclose(pModule);
}

PluginHost::PluginHost(std::string strHome) : m_strHome(std::move(strHome)) {
    SetPath(m_strHome + "kernel/dllmgr.ini");
}

PluginHost::~PluginHost() {
    StopAll();
    Unload();
    if (m_pInfoTipFile) {
        m_pInfoTipFile.reset();
        unlink(m_strInfoTipPath.c_str());
    }
}

void PluginHost::EnsureLoaded() {
    if (m_bLoaded) {
        return;
    }
    // Set even when nothing loads, so a broken registry is not re-read on
    // every call.
    m_bLoaded = true;
    SetPath(m_strHome + "kernel/dllmgr.ini");
    m_strRegistryError.clear();
    if (!IsReadable(m_strRegistryError)) {
        return;
    }
    const int64_t nCount = ReadCount();
    if (nCount <= 0) {
        return;
    }
    m_nCount = static_cast<uint16_t>(nCount);
    m_plugins.resize(m_nCount);
    m_info.resize(m_nCount);
    for (int i = 0; i < m_nCount; ++i) {
        LoadPlugin(i);
    }
}

int64_t PluginHost::ReadCount() {
    std::string strText;
    GetString(kSectionDll, "count", strText);
    const int64_t nCount = GetInt64(kSectionDll, "count", 0);
    const std::string strWhere = "the [DLL] count '" + strText + "' of " + GetPath();
    if (!strText.empty() && !IsWholeNumber(strText)) {
        m_reports.push_back(
            strWhere + " is not a whole number" +
            (nCount > 0 ? "; read as " + std::to_string(nCount) : "; no plug-in is loaded"));
    } else if (nCount < 0) {
        m_reports.push_back(strWhere + " is negative; no plug-in is loaded");
    }
    if (nCount > kMaxPlugins) {
        m_reports.push_back(strWhere + " is more than " + std::to_string(kMaxPlugins) +
                            "; only the first " + std::to_string(kMaxPlugins) + " are loaded");
        return kMaxPlugins;
    }
    return nCount;
}

bool PluginHost::CheckRegistry(std::string& strError) {
    EnsureLoaded();
    if (m_strRegistryError.empty()) {
        return true;
    }
    strError = "the plug-in registry is unreadable: " + m_strRegistryError;
    return false;
}

void PluginHost::LoadPlugin(int nDllID) {
    PluginInfo& info = m_info[nDllID];
    Plugin& plugin = m_plugins[nDllID];
    info.nDllID = nDllID;
    GetString(kSectionDll, std::to_string(nDllID), info.strName);

    const std::string strLabel = "Plug-in " + std::to_string(nDllID) + " (" + info.strName + ")";
    if (info.strName.empty()) {
        info.state = PluginState::kMissingFile;
        info.strReason = "no file name under key " + std::to_string(nDllID) + " of [DLL]";
        m_reports.push_back("Plug-in " + std::to_string(nDllID) + ": " + info.strReason);
        return;
    }

    const std::string strPath = m_strHome + "kernel/" + info.strName;
    dlerror();
    plugin.module.reset(dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!plugin.module) {
        const char* pszError = dlerror();
        info.state = PluginState::kMissingFile;
        info.strReason = pszError ? pszError : ("cannot load " + strPath);
        m_reports.push_back(strLabel + " cannot be loaded: " + info.strReason);
        return;
    }

    void* pModule = plugin.module.get();
    Exports& e = plugin.exports;
    // The same order as kPluginExportNames.
    const bool bound[] = {
        Bind(pModule, kPluginExportNames[0], e.pStartDownPage),
        Bind(pModule, kPluginExportNames[1], e.pStopDownPage),
        Bind(pModule, kPluginExportNames[2], e.pGetDownPageStatus),
        Bind(pModule, kPluginExportNames[3], e.pGetDownPageData),
        Bind(pModule, kPluginExportNames[4], e.pStartDownTFile),
        Bind(pModule, kPluginExportNames[5], e.pStopDownTFile),
        Bind(pModule, kPluginExportNames[6], e.pGetDownTFileStatus),
        Bind(pModule, kPluginExportNames[7], e.pStopAll),
        Bind(pModule, kPluginExportNames[8], e.pClearPageRecord),
        Bind(pModule, kPluginExportNames[9], e.pStartSearch),
        Bind(pModule, kPluginExportNames[10], e.pStopSearch),
        Bind(pModule, kPluginExportNames[11], e.pGetSearchData),
        Bind(pModule, kPluginExportNames[12], e.pGetSearchStatus),
        Bind(pModule, kPluginExportNames[13], e.pWebIOCtl),
    };
    static_assert(std::size(bound) == std::size(kPluginExportNames));

    std::string strMissing;
    for (size_t k = 0; k < std::size(bound); ++k) {
        if (!bound[k]) {
            strMissing += strMissing.empty() ? "" : ", ";
            strMissing += kPluginExportNames[k];
        }
    }
    if (!strMissing.empty()) {
        info.state = PluginState::kIncomplete;
        info.strReason = "lacks the export " + strMissing;
        m_reports.push_back(strLabel + " " + info.strReason);
        // A plug-in that cannot be called stays unloaded; its place is kept.
        plugin.exports = Exports{};
        plugin.module.reset();
        return;
    }
    info.state = PluginState::kLoaded;
    plugin.bUsable = true;
}

void PluginHost::Unload() {
    if (!m_bLoaded) {
        return;
    }
    m_bLoaded = false;
    for (Plugin& plugin : m_plugins) {
        plugin.module.reset();
    }
    m_plugins.clear();
    m_info.clear();
    m_nCount = 0;
}

const PluginHost::Exports* PluginHost::Route(const TorrentRecord& record) {
    EnsureLoaded();
    if (record.DllID < 0 || record.DllID >= m_nCount) {
        return nullptr;
    }
    const Plugin& plugin = m_plugins[record.DllID];
    return plugin.bUsable ? &plugin.exports : nullptr;
}

void PluginHost::Stamp(TorrentRecordArray& records, size_t nOldSize, int nDllID) {
    for (size_t i = nOldSize; i < records.size(); ++i) {
        records[i].DllID = nDllID;
    }
}

template <typename Fn>
void PluginHost::ForEachUsable(Fn fn) {
    for (int i = 0; i < static_cast<int>(m_plugins.size()); ++i) {
        if (m_plugins[i].bUsable) {
            fn(i, m_plugins[i].exports);
        }
    }
}

template <typename Fn>
int PluginHost::CombineStatus(Fn statusOf) {
    int64_t nSum = 0;
    int nUsable = 0;
    bool bAnswered = false;
    ForEachUsable([&](int nDllID, const Exports& e) {
        ++nUsable;
        const int nStatus = statusOf(nDllID, e);
        if (nStatus != -1) {
            nSum += nStatus;
            bAnswered = true;
        }
    });
    return bAnswered ? static_cast<int>(nSum / nUsable) : -1;
}

int PluginHost::StartDownPage(int group, int index) {
    EnsureLoaded();
    ForEachUsable([&](int, const Exports& e) { e.pStartDownPage(group, index); });
    return 1;
}

int PluginHost::StopDownPage(int group, int index) {
    EnsureLoaded();
    ForEachUsable([&](int, const Exports& e) { e.pStopDownPage(group, index); });
    return 1;
}

int PluginHost::GetDownPageStatus(int group, int index) {
    EnsureLoaded();
    return CombineStatus([&](int, const Exports& e) { return e.pGetDownPageStatus(group, index); });
}

int PluginHost::GetDownPageData(int group, int index, TorrentRecordArray& records) {
    EnsureLoaded();
    ForEachUsable([&](int nDllID, const Exports& e) {
        const size_t nOldSize = records.size();
        e.pGetDownPageData(group, index, &records);
        Stamp(records, nOldSize, nDllID);
    });
    return 1;
}

int PluginHost::StartDownTFile(TorrentRecord& record) {
    const Exports* pExports = Route(record);
    record.DownHd = pExports ? pExports->pStartDownTFile(&record) : 0;
    return record.DownHd;
}

int PluginHost::StopDownTFile(TorrentRecord& record) {
    const Exports* pExports = Route(record);
    const int nResult = pExports ? pExports->pStopDownTFile(&record) : 0;
    record.DownHd = 0;
    return nResult;
}

int PluginHost::GetDownTFileStatus(TorrentRecord& record) {
    const Exports* pExports = Route(record);
    return pExports ? pExports->pGetDownTFileStatus(&record) : -1;
}

bool PluginHost::IsDownTFileAlive(TorrentRecord& record) {
    return GetDownTFileStatus(record) != -1;
}

void PluginHost::StopAll() {
    ForEachUsable([](int, const Exports& e) { e.pStopAll(); });
}

void PluginHost::ClearPageRecord(int group, int index, OleDate date) {
    EnsureLoaded();
    ForEachUsable([&](int, const Exports& e) { e.pClearPageRecord(group, index, date); });
}

PluginHost::SearchHandles PluginHost::StartSearch(const std::string& strKeyword) {
    EnsureLoaded();
    SearchHandles handles(m_nCount, kNoSearch);
    ForEachUsable(
        [&](int nDllID, const Exports& e) { handles[nDllID] = e.pStartSearch(strKeyword); });
    return handles;
}

void PluginHost::StopSearch(SearchHandles& handles) {
    EnsureLoaded();
    ForEachUsable([&](int nDllID, const Exports& e) {
        if (HandleOf(handles, nDllID) != kNoSearch) {
            e.pStopSearch(handles[nDllID]);
        }
    });
    handles.clear();
}

int PluginHost::GetSearchData(const SearchHandles& handles, TorrentRecordArray& records) {
    EnsureLoaded();
    ForEachUsable([&](int nDllID, const Exports& e) {
        const size_t nOldSize = records.size();
        e.pGetSearchData(HandleOf(handles, nDllID), &records);
        Stamp(records, nOldSize, nDllID);
    });
    return 1;
}

int PluginHost::GetSearchStatus(const SearchHandles& handles) {
    EnsureLoaded();
    return CombineStatus([&](int nDllID, const Exports& e) {
        return e.pGetSearchStatus(HandleOf(handles, nDllID));
    });
}

namespace {

// A text a plug-in handed over through WebIOCtl, freed here. The length
// counts the terminator; never read past what was allocated.
std::string TakeWebIoText(char* pBuffer, int nLength) {
    if (!pBuffer) {
        return {};
    }
    std::string strText =
        nLength > 0 ? std::string(pBuffer, strnlen(pBuffer, static_cast<size_t>(nLength - 1)))
                    : std::string(pBuffer);
    std::free(pBuffer);
    return strText;
}

}  // namespace

std::string PluginHost::GetEntryInfoText(TorrentRecord& record) {
    const Exports* pExports = Route(record);
    if (!pExports) {
        return {};
    }
    char* pBuffer = nullptr;
    int nLength = 0;
    pExports->pWebIOCtl(&record, kWebIoDetailText, 0, 0, &pBuffer, 0, &nLength);
    return TakeWebIoText(pBuffer, nLength);
}

std::vector<PluginHost::PageFailure> PluginHost::GetDownPageFailures(int group, int index) {
    EnsureLoaded();
    std::vector<PageFailure> failures;
    ForEachUsable([&](int nDllID, const Exports& e) {
        char* pBuffer = nullptr;
        int nLength = 0;
        e.pWebIOCtl(nullptr, kWebIoPageFailure, group, index, &pBuffer, 0, &nLength);
        std::string strReason = TakeWebIoText(pBuffer, nLength);
        if (!strReason.empty()) {
            failures.push_back({nDllID, std::move(strReason)});
        }
    });
    return failures;
}

bool PluginHost::OpenInfoTipFile() {
    if (m_pInfoTipFile) {
        return true;
    }
    long nNumber = static_cast<long>(std::time(nullptr));
    for (int nTry = 0; nTry < kInfoTipNameTries; ++nTry, nNumber += kInfoTipNameStep) {
        const std::string strPath = m_strHome + std::to_string(nNumber) + ".htm";
        // O_EXCL: never take over a file another run or another program
        // created under the same name.
        const int fd = open(strPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        m_pInfoTipFile.reset(fdopen(fd, "w+"));
        if (!m_pInfoTipFile) {
            close(fd);
            unlink(strPath.c_str());
            return false;
        }
        m_strInfoTipPath = strPath;
        return true;
    }
    return false;
}

std::string PluginHost::RenderInfoTip(TorrentRecord& record) {
    if (!OpenInfoTipFile()) {
        return {};
    }
    std::FILE* pFile = m_pInfoTipFile.get();
    std::rewind(pFile);
    const std::string strPage =
        FormatInfoTip(std::string(texts::LoadString(texts::IDS_INFO_TIP_TABLE)),
                      EscapeHtml(record.Name), GetEntryInfoText(record));
    const bool bWritten = std::fwrite(strPage.data(), 1, strPage.size(), pFile) == strPage.size() &&
                          std::fflush(pFile) == 0 &&
                          ftruncate(fileno(pFile), static_cast<off_t>(strPage.size())) == 0;
    return bWritten ? m_strInfoTipPath : std::string();
}

const std::vector<PluginHost::PluginInfo>& PluginHost::GetPluginInfo() {
    EnsureLoaded();
    return m_info;
}

int PluginHost::GetPluginCount() {
    EnsureLoaded();
    return m_nCount;
}

int PluginHost::GetUsablePluginCount() {
    EnsureLoaded();
    int nUsable = 0;
    ForEachUsable([&](int, const Exports&) { ++nUsable; });
    return nUsable;
}

std::string PluginHost::GetSiteBase(int nDllID) {
    EnsureLoaded();
    if (nDllID < 0 || nDllID >= m_nCount || m_info[nDllID].strName.empty()) {
        return {};
    }
    std::string strBase;
    GetString("Site_" + m_info[nDllID].strName, "Base", strBase);
    return strBase;
}

std::vector<std::string> PluginHost::TakeLoadReports() {
    EnsureLoaded();
    return std::exchange(m_reports, {});
}

const char* PluginHost::StateName(PluginState state) {
    switch (state) {
        case PluginState::kLoaded:
            return "loaded";
        case PluginState::kMissingFile:
            return "missing";
        case PluginState::kIncomplete:
            return "incomplete";
    }
    return "missing";
}
