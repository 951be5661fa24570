#include "delete_commands.h"

#include <cmath>
#include <ctime>

namespace {

OleDate InvalidDate() {
    OleDate date;
    date.m_status = OleDate::kInvalid;
    return date;
}

// Local midnight of the day `nDaysBack` calendar days before the day of
// `now`. Stepping back through the calendar fields instead of by 86400
// seconds keeps the day right when a daylight-saving change lies between.
OleDate MidnightDaysBack(int64_t now, int nDaysBack) {
    const time_t tmNow = static_cast<time_t>(now);
    std::tm local{};
    if (localtime_r(&tmNow, &local) == nullptr) {
        return InvalidDate();
    }
    local.tm_hour = 0;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_mday -= nDaysBack;
    local.tm_isdst = -1;
    mktime(&local);
    return OleDate::FromFields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

OleDate DayOf(const OleDate& date) {
    std::tm fields{};
    if (!date.ToFields(fields)) {
        return date;
    }
    return OleDate::FromFields(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday);
}

bool IsRecent(CDeleteCommands::Kind kind) {
    return kind == CDeleteCommands::Kind::kRecentDays || kind == CDeleteCommands::Kind::kAfterDate;
}

}  // namespace

CDeleteCommands::CDeleteCommands(PluginHost& host, TorrentFolderPruner prune, Clock clock)
    : m_host(host), m_prune(std::move(prune)), m_clock(std::move(clock)) {}

OleDate CDeleteCommands::CutOff(const Command& command, int64_t now) {
    switch (command.kind) {
        case Kind::kBeforeDays:
        case Kind::kRecentDays:
            return MidnightDaysBack(now, command.nDays - 1);
        case Kind::kBeforeDate:
        case Kind::kAfterDate:
            return DayOf(command.dtPicked);
        case Kind::kClearData:
            break;
    }
    return InvalidDate();
}

std::optional<CDeleteCommands::PruneArguments> CDeleteCommands::GetPruneArguments(
    const Command& command, int64_t now) {
    switch (command.kind) {
        case Kind::kClearData:
            return PruneArguments{0, false};
        case Kind::kBeforeDays:
        case Kind::kRecentDays:
            return PruneArguments{command.nDays, IsRecent(command.kind)};
        case Kind::kBeforeDate:
        case Kind::kAfterDate:
            break;
    }
    const OleDate dtCutOff = CutOff(command, now);
    if (!dtCutOff.IsValid()) {
        return std::nullopt;
    }
    // Whole days on the local calendar, for the reason MidnightDaysBack gives.
    const double fDays =
        std::floor(OleDate::FromUnixTime(static_cast<time_t>(now)).m_dt - dtCutOff.m_dt);
    if (command.kind == Kind::kBeforeDate) {
        return PruneArguments{fDays < 0 ? 0 : static_cast<int>(fDays), false};
    }
    if (fDays < 0) {
        return std::nullopt;
    }
    return PruneArguments{static_cast<int>(fDays), true};
}

CDeleteCommands::LeafResult CDeleteCommands::ClearLeaf(CCategoryNode& leaf) {
    LeafResult result{&leaf};
    const int64_t nBefore = leaf.m_Table.Count();
    const bool bDeleted = leaf.m_Table.DeleteAll();
    const int64_t nAfter = leaf.m_Table.Count();
    result.nRowsDeleted = nBefore - nAfter;
    // Rows left behind (a locked catalogue) must not be fetched a second time.
    result.bOk = bDeleted && nAfter == 0;
    if (result.bOk) {
        m_host.ClearPageRecord(leaf.m_nCategoryId, leaf.m_nSubIndex, OleDate::LocalEpoch());
    }
    return result;
}

CDeleteCommands::LeafResult CDeleteCommands::DeleteLeaf(CCategoryNode& leaf, OleDate dtCutOff,
                                                        bool bRecent) {
    LeafResult result{&leaf};
    const int64_t nBefore = leaf.m_Table.Count();
    result.bOk = leaf.m_Table.DeleteByDate(dtCutOff, bRecent);
    result.nRowsDeleted = nBefore - leaf.m_Table.Count();
    if (result.bOk && bRecent) {
        m_host.ClearPageRecord(leaf.m_nCategoryId, leaf.m_nSubIndex, dtCutOff);
    }
    return result;
}

CDeleteCommands::Result CDeleteCommands::Run(CCategoryNode* pNode, const Command& command) {
    const int64_t now = m_clock();
    Result result;
    if (pNode != nullptr) {
        const OleDate dtCutOff = CutOff(command, now);
        const bool bRecent = IsRecent(command.kind);
        for (CCategoryNode* pLeaf : pNode->GetLeaves()) {
            if (command.kind == Kind::kClearData) {
                result.leaves.push_back(ClearLeaf(*pLeaf));
            } else if (dtCutOff.IsValid()) {
                result.leaves.push_back(DeleteLeaf(*pLeaf, dtCutOff, bRecent));
            } else {
                result.leaves.push_back({pLeaf, 0, false});
            }
        }
    }
    if (const auto prune = GetPruneArguments(command, now); prune) {
        result.nFilesPruned = m_prune(prune->nDays, prune->bRecent);
    }
    return result;
}
