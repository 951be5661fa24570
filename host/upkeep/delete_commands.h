// CDeleteCommands: the commands that remove catalogue data under a node of
// the category tree: clear everything, delete the entries added before a
// day, or delete those added on or after a day.
//
// A delete is more than a statement on the tables. Each plug-in remembers per
// category slot the date of the newest entry it has handed over and fetches
// only newer ones; after a leaf is cleared, or its recent entries deleted,
// every plug-in is set back (to the epoch, or to the cut-off) so that the
// next refresh fetches those entries again. Deleting old entries tells the
// plug-ins nothing, and so does a delete that failed (a catalogue locked by
// another process): fetching again rows that are still there would store
// them twice. Every command ends by pruning the fetched torrent files by
// age, also when no node is given.
//
// The confirmation belongs to the front end. Cut-offs are local midnights in
// calendar days, so a daylight-saving change between them and now moves
// nothing by an hour.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "category_node.h"
#include "global_config.h"
#include "ole_date.h"
#include "plugin_host.h"

class CDeleteCommands {
  public:
    // Seconds since 1970-01-01 UTC.
    using Clock = std::function<int64_t()>;
    // Deletes the fetched torrent files whose age in whole days is nDays or
    // more (bRecent false) or nDays or less (bRecent true); answers how many
    // files were deleted.
    using TorrentFolderPruner = std::function<int(int nDays, bool bRecent)>;

    enum class Kind {
        kClearData,
        kBeforeDays,  // entries added before today's midnight minus nDays - 1 days
        kRecentDays,  // entries added on or after that midnight
        kBeforeDate,  // entries added before the picked day
        kAfterDate,   // entries added on or after the picked day
    };

    struct Command {
        Kind kind = Kind::kClearData;
        int nDays = 0;     // 1..10 for the day commands
        OleDate dtPicked;  // the day commands ignore it; its time of day is ignored
    };

    struct LeafResult {
        CCategoryNode* pLeaf = nullptr;
        int64_t nRowsDeleted = 0;
        bool bOk = true;  // false when the table could not be changed
    };
    struct Result {
        std::vector<LeafResult> leaves;  // in tree order
        int nFilesPruned = 0;
    };

    CDeleteCommands(PluginHost& host, TorrentFolderPruner prune,
                    Clock clock = CGlobalConfig::SystemClock);

    // Runs the command on every leaf under pNode (the root: every leaf of
    // the tree; a leaf: itself), then prunes the torrent files. With pNode
    // null only the files are pruned.
    Result Run(CCategoryNode* pNode, const Command& command);

    // The first day kept by a "before" command or deleted by a "recent" one,
    // at 00:00 local time. Invalid for Clear Data.
    static OleDate CutOff(const Command& command, int64_t now);

    // How the torrent files are pruned after the command; nullopt when none
    // are (an after-date cut-off in the future).
    struct PruneArguments {
        int nDays = 0;
        bool bRecent = false;
    };
    static std::optional<PruneArguments> GetPruneArguments(const Command& command, int64_t now);

  private:
    LeafResult ClearLeaf(CCategoryNode& leaf);
    LeafResult DeleteLeaf(CCategoryNode& leaf, OleDate dtCutOff, bool bRecent);

    PluginHost& m_host;
    TorrentFolderPruner m_prune;
    Clock m_clock;
};
