// The JSON form of a catalogue or search row, shared by the commands that
// print rows with --json.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "torrent_record.h"

namespace cli {

// Every record field, the row id from the bookmark, and the leaf's table
// (empty for a row that lives in no table).
nlohmann::json RecordJson(const TorrentRecord& record, const std::string& table);

// One line of compact JSON; bytes that are not UTF-8 are replaced.
std::string JsonLine(const nlohmann::json& value);

}  // namespace cli
