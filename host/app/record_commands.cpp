#include "record_commands.h"

#include <QMenu>

#include "download_tasks.h"
#include "list_view.h"
#include "message_box.h"
#include "ui_text.h"

void OpenTorrentOrExplain(QWidget* parent, CDownloadTasks& tasks, const TorrentRecord& entry) {
    const CDownloadTasks::OpenResult result = tasks.OpenTorrentFile(entry);
    if (result != CDownloadTasks::OpenResult::kOpened) {
        ui::ShowMessageBox(parent, ui::MessageKind::kError,
                           ui::Text(CDownloadTasks::GetOpenFailureText(result)));
    }
}

void AddRecordMenuItem(QMenu& menu, unsigned id, const std::vector<int>& rows,
                       const CDataListModel& model, CDownloadTasks& tasks) {
    const bool bSingleHasFile =
        rows.size() == 1 && tasks.TorrentFileExists(model.Record(rows.front()));
    const DataListMenuState state = DataListMenuRules(rows.size(), bSingleHasFile);
    QAction* action = menu.addAction(ui::Text(texts::LoadMenuText(id)));
    action->setData(id);
    switch (id) {
        case texts::ID_DOWNLOAD_AND_OPEN:
        case texts::ID_DOWNLOAD_TORRENT:
            action->setEnabled(state.bDownload);
            break;
        case texts::ID_OPEN_TORRENT:
            action->setEnabled(state.bOpen);
            break;
        case texts::ID_VIEW_WEB_PAGE:
            action->setEnabled(state.bViewPage);
            break;
        default:
            break;
    }
}

bool RunRecordCommand(unsigned id, const std::vector<int>& rows, const CDataListModel& model,
                      CDownloadTasks& tasks, QWidget* parent, const RecordActions& actions) {
    switch (id) {
        case texts::ID_DOWNLOAD_AND_OPEN:
        case texts::ID_DOWNLOAD_TORRENT:
            for (int row : rows) {
                if (!tasks.TorrentFileExists(model.Record(row))) {
                    actions.addTask(model.Record(row), id == texts::ID_DOWNLOAD_AND_OPEN);
                }
            }
            return true;
        case texts::ID_OPEN_TORRENT:
            if (rows.size() == 1) {
                OpenTorrentOrExplain(parent, tasks, model.Record(rows.front()));
            }
            return true;
        case texts::ID_VIEW_WEB_PAGE:
            if (rows.size() == 1) {
                actions.openAddress(ui::Text(model.Record(rows.front()).WebAddr));
            }
            return true;
        default:
            return false;
    }
}

void ActivateRecord(const TorrentRecord& record, CDownloadTasks& tasks, QWidget* parent,
                    const RecordActions& actions) {
    if (tasks.TorrentFileExists(record)) {
        OpenTorrentOrExplain(parent, tasks, record);
    } else {
        actions.addTask(record, true);
    }
}
