#include "refresh_log.h"

namespace {

// The file holds one line per value.
std::string OneLine(std::string strText) {
    for (char& c : strText) {
        if (c == '\r' || c == '\n' || c == '\0') {
            c = ' ';
        }
    }
    return strText;
}

}  // namespace

CRefreshLog::CRefreshLog(const std::string& strHome) : m_file(strHome + "kernel/refreshlog.ini") {}

CRefreshLog::Entry CRefreshLog::Read(const std::string& strPlugin) const {
    Entry entry;
    entry.nLastRefresh = m_file.GetInt64(strPlugin, "LastRefresh", 0);
    entry.nRows = m_file.GetInt64(strPlugin, "Rows", 0);
    m_file.GetString(strPlugin, "LastFailure", entry.strLastFailure);
    entry.nLastFailureTime = m_file.GetInt64(strPlugin, "LastFailureTime", 0);
    return entry;
}

void CRefreshLog::Add(const std::string& strPlugin, int64_t nRows, const std::string& strFailure) {
    Pending& pending = m_pending[strPlugin];
    pending.nRows += nRows;
    if (!strFailure.empty()) {
        pending.strFailure = OneLine(strFailure);
    }
}

bool CRefreshLog::Save(int64_t now) {
    bool bWritten = true;
    {
        CIniFile::Batch batch(m_file);
        for (const auto& [strPlugin, pending] : m_pending) {
            bWritten = m_file.WriteInt64(strPlugin, "LastRefresh", now) && bWritten;
            bWritten = m_file.WriteInt64(strPlugin, "Rows", pending.nRows) && bWritten;
            if (!pending.strFailure.empty()) {
                bWritten = m_file.WriteString(strPlugin, "LastFailure", pending.strFailure) &&
                           m_file.WriteInt64(strPlugin, "LastFailureTime", now) && bWritten;
            }
        }
        bWritten = batch.Commit() && bWritten;
    }
    m_pending.clear();
    return bWritten;
}
