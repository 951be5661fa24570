#include "web_history.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "ini_file.h"

namespace {

constexpr const char* kSection = "Web";
constexpr const char* kCountKey = "Count";

}  // namespace

std::string CWebHistory::DefaultPath() {
    return CIniFile::GetAppDir() + "kernel/webhistory.ini";
}

void CWebHistory::Load() {
    const CIniFile ini(m_strPath);
    const int64_t count = ini.GetInt64(kSection, kCountKey, 0);
    m_entries.clear();
    for (int64_t i = 0; i < count; ++i) {
        std::string address;
        if (ini.GetString(kSection, std::to_string(i), address) == 0) {
            break;
        }
        m_entries.push_back(std::move(address));
    }
}

bool CWebHistory::Add(const std::string& address) {
    if (address.empty() || address.size() > kMaxAddressBytes ||
        address.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        return false;
    }
    std::erase(m_entries, address);
    m_entries.insert(m_entries.begin(), address);
    return true;
}

bool CWebHistory::Save() {
    CIniFile ini(m_strPath);
    CIniFile::Batch batch(ini);
    bool bWritten = ini.WriteInt64(kSection, kCountKey, static_cast<int64_t>(m_entries.size()));
    for (size_t i = 0; i < m_entries.size(); ++i) {
        bWritten = ini.WriteString(kSection, std::to_string(i), m_entries[i]) && bWritten;
    }
    return batch.Commit() && bWritten;
}
