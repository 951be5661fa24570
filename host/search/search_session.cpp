#include "search_session.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <type_traits>

#include "config_keys.h"

namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

std::string Trim(const std::string& strText) {
    const size_t first = strText.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return {};
    }
    return strText.substr(first, strText.find_last_not_of(kBlanks) - first + 1);
}

struct LocaleFree {
    void operator()(locale_t locale) const { freelocale(locale); }
};
using LocaleHandle = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleFree>;

// Case mappings for every script, whatever locale the program runs in. Null
// when the system lacks the locale; letters outside ASCII then keep their case.
locale_t Utf8Locale() {
    static const LocaleHandle s_locale(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{}));
    return s_locale.get();
}

// A byte that starts no valid sequence stands for itself, mapped into the
// surrogate range where no letter lives.
char32_t NextCodePoint(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t nLength = lead < 0x80           ? 1
                           : (lead >> 5) == 0x06 ? 2
                           : (lead >> 4) == 0x0E ? 3
                           : (lead >> 3) == 0x1E ? 4
                                                 : 0;
    const char32_t invalid = 0xDC00 + lead;
    if (nLength == 0 || i + nLength > text.size()) {
        ++i;
        return invalid;
    }
    char32_t code = nLength == 1 ? lead : lead & (0x7F >> nLength);
    for (size_t k = 1; k < nLength; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return invalid;
        }
        code = (code << 6) | (next & 0x3F);
    }
    i += nLength;
    return code;
}

char32_t FoldCase(char32_t code) {
    if (code < 0x80) {
        return (code >= 'A' && code <= 'Z') ? code + ('a' - 'A') : code;
    }
    const locale_t locale = Utf8Locale();
    return locale ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(code), locale)) : code;
}

}  // namespace

CSearchSession::CSearchSession(PluginHost& host, CGlobalConfig& config)
    : m_host(host), m_config(config) {}

CSearchSession::~CSearchSession() {
    Stop();
}

CSearchSession::StartResult CSearchSession::Start(const std::string& strKeyword, Scope scope) {
    Stop();
    DeleteAllRows();
    const std::string strTrimmed = Trim(strKeyword);
    if (strTrimmed.empty()) {
        return StartResult::kEmptyKeyword;
    }
    m_strKeyword = strTrimmed;
    AddToHistory(m_strKeyword);

    if (scope.bLocal) {
        TorrentRecordArray matches;
        for (CCategoryNode* pLeaf : m_config.GetRoot().GetLeaves()) {
            matches.clear();
            pLeaf->m_Table.SearchByName(m_strKeyword, matches);
            for (TorrentRecord& record : matches) {
                m_rows.push_back({std::move(record), Source::kLocal, pLeaf});
            }
        }
    }
    m_nProgress = scope.bSites ? 0 : 100;
    if (scope.bSites) {
        m_handles = m_host.StartSearch(m_strKeyword);
        m_bSearching = true;
    }
    return StartResult::kStarted;
}

void CSearchSession::Poll() {
    if (!m_bSearching) {
        return;
    }
    const int nStatus = m_host.GetSearchStatus(m_handles);
    // -1: no plug-in can search at all, which would otherwise never end.
    m_nProgress = nStatus < 0 ? 100 : std::min(nStatus, 100);
    CollectSiteRows();
    if (m_nProgress == 100) {
        Stop();
    }
}

void CSearchSession::CollectSiteRows() {
    TorrentRecordArray arrived;
    m_host.GetSearchData(m_handles, arrived);
    for (TorrentRecord& record : arrived) {
        m_rows.push_back({std::move(record), Source::kSite, nullptr});
    }
}

void CSearchSession::Stop() {
    if (!m_bSearching) {
        return;
    }
    m_host.StopSearch(m_handles);
    m_bSearching = false;
}

void CSearchSession::DeleteRows(std::vector<size_t> positions) {
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
        if (*it < m_rows.size()) {
            m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(*it));
        }
    }
}

void CSearchSession::UpdateEntry(const TorrentRecord& task) {
    for (ResultRow& row : m_rows) {
        if (row.record.Addr0 == task.Addr0) {
            row.record.bCompleted = task.bCompleted;
            row.record.FileName = task.FileName;
            return;
        }
    }
}

void CSearchSession::LoadHistory() {
    m_config.LoadSearchList(m_history);
    if (m_history.size() > static_cast<size_t>(config::kMaxSearchList)) {
        m_history.resize(config::kMaxSearchList);
    }
}

bool CSearchSession::SaveHistory() {
    return m_config.SaveSearchList(m_history);
}

void CSearchSession::AddToHistory(const std::string& strKeyword) {
    std::erase_if(m_history,
                  [&](const std::string& strOld) { return SameKeyword(strOld, strKeyword); });
    m_history.insert(m_history.begin(), strKeyword);
    if (m_history.size() > static_cast<size_t>(config::kMaxSearchList)) {
        m_history.resize(config::kMaxSearchList);
    }
}

bool CSearchSession::SameKeyword(const std::string& strA, const std::string& strB) {
    size_t i = 0;
    size_t j = 0;
    while (i < strA.size() && j < strB.size()) {
        if (FoldCase(NextCodePoint(strA, i)) != FoldCase(NextCodePoint(strB, j))) {
            return false;
        }
    }
    return i == strA.size() && j == strB.size();
}
