// Fetching the .torrent files of entries through the download tasks, as the
// fetch command and search --fetch do.
#pragma once

#include <string>
#include <vector>

#include "cli_context.h"
#include "torrent_record.h"

namespace cli {

struct FetchOutcome {
    // Per entry, in order: the path of its .torrent file, or empty when it
    // could not be fetched.
    std::vector<std::string> paths;
    bool bOpenFailed = false;
    // Some fetched file's name is not in its catalogue row (reported on
    // stderr): the row does not show the file as fetched.
    bool bUnrecorded = false;
};

// Runs the download tasks until every entry's download has ended, polling
// every pollMs. An entry whose file is already there is not fetched again.
// With `open`, each file is handed to the desktop's handler; a failure is
// reported on stderr.
FetchOutcome FetchTorrentFiles(CliContext& context, const std::vector<TorrentRecord>& entries,
                               bool open, int pollMs);

// Opens the file with xdg-open, started without a shell in `dir`. True when
// the opener reports success or is still busy handing the file over after a
// few seconds.
bool OpenWithDesktop(const std::string& path, const std::string& dir);

}  // namespace cli
