#include "record_json.h"

namespace cli {

nlohmann::json RecordJson(const TorrentRecord& record, const std::string& table) {
    return {
        {"AddDate", record.AddDate.Format()},
        {"Name", record.Name},
        {"Addr0", record.Addr0},
        {"Addr1", record.Addr1},
        {"Addr2", record.Addr2},
        {"Addr3", record.Addr3},
        {"WebAddr", record.WebAddr},
        {"Type", record.Type},
        {"Size", record.Size},
        {"RefreshDate", record.RefreshDate.Format()},
        {"Seeds", record.Seeds},
        {"Peers", record.Peers},
        {"Comment", record.Comment},
        {"bCompleted", record.bCompleted},
        {"FileName", record.FileName},
        {"DownHd", record.DownHd},
        {"rowid", record.Bookmark.nRowId},
        {"DllID", record.DllID},
        {"table", table},
    };
}

std::string JsonLine(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace cli
