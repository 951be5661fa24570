// What the torrent list and the search list do with their rows alike: the
// four torrent items of their menus, and the double click.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "list_model.h"
#include "texts.h"

class CDownloadTasks;
class QMenu;
class QString;
class QWidget;

inline constexpr std::array<unsigned, 4> kRecordMenuItems = {
    texts::ID_DOWNLOAD_AND_OPEN, texts::ID_DOWNLOAD_TORRENT, texts::ID_OPEN_TORRENT,
    texts::ID_VIEW_WEB_PAGE};

// Where a list sends what it asks for: a download for the task list, an
// address for the open-address rule.
struct RecordActions {
    std::function<void(const TorrentRecord& entry, bool bOpenWhenDone)> addTask;
    std::function<void(const QString& address)> openAddress;
};

// Opens the entry's torrent file on the desktop; a failure shows its
// message in an error box.
void OpenTorrentOrExplain(QWidget* parent, CDownloadTasks& tasks, const TorrentRecord& entry);

// Adds the menu item `id` with its command id as data: the four torrent
// items enabled by the list menu rule for `rows`, any other item enabled.
void AddRecordMenuItem(QMenu& menu, unsigned id, const std::vector<int>& rows,
                       const CDataListModel& model, CDownloadTasks& tasks);

// Runs one of the four torrent items on `rows`; false for any other id.
bool RunRecordCommand(unsigned id, const std::vector<int>& rows, const CDataListModel& model,
                      CDownloadTasks& tasks, QWidget* parent, const RecordActions& actions);

// A double click: the torrent file opens when it is there, else it is
// fetched and opened when it arrives.
void ActivateRecord(const TorrentRecord& record, CDownloadTasks& tasks, QWidget* parent,
                    const RecordActions& actions);
