// CWebTaskView: the download-task list. Row i shows task i of the program's
// task table, with the task's state as its image and Percent text. It owns
// the 500 ms poll that drives the downloads, and it is where every download
// request of the other lists ends up: AddTask() selects the entry's task
// when there is one, else appends and starts a new one.
//
// A header click sorts the task table itself, so row i still shows task i.
#pragma once

#include <QTimer>
#include <vector>

#include "app_context.h"
#include "list_model.h"
#include "list_view.h"
#include "record_commands.h"

class QMenu;

// The task rows: a view over CDownloadTasks, not a copy to keep in step.
class CTaskListModel : public CDataListModel {
    Q_OBJECT

  public:
    explicit CTaskListModel(CDownloadTasks& tasks, QObject* parent = nullptr);

    // Shows the table as it is now: rows for new tasks, every row's state.
    // A table that shrank is shown anew.
    void Sync();
    // Orders the task table by the column (not Index), then shows it.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  private:
    CDownloadTasks& m_tasks;
};

// Which items of the "tasklist" menu are on, for the states and auto-open
// flags of the selected tasks.
struct TaskMenuState {
    bool bOpen = false;
    bool bStart = false;
    bool bStop = false;
    bool bAutoOpenChecked = false;
    bool bViewPage = false;
    bool bDelete = false;
};
struct SelectedTask {
    uint8_t nState = 0;
    bool bAutoOpen = false;
    bool bHasFile = false;
};
TaskMenuState TaskMenuRules(const std::vector<SelectedTask>& selected);

class CWebTaskView : public CDataListCtrl {
    Q_OBJECT

  public:
    static constexpr int kPollMs = 500;

    explicit CWebTaskView(CAppContext& context, QWidget* parent = nullptr);
    ~CWebTaskView() override;

    // Downloads the entry's torrent file (opening it when done if asked):
    // its existing task is selected alone, or a new task is appended,
    // started (or left waiting for a slot) and selected alone. Either way
    // the list asks to be brought to the front.
    void AddTask(TorrentRecord entry, bool bOpenWhenDone);
    // One tick of the downloads, then the rows show the new states.
    void Poll();
    CTaskListModel& Model() { return m_model; }

    // The "tasklist" menu for the selection (the caller owns it); each item
    // carries its command id as data.
    QMenu* CreateTaskMenu();
    void RunTaskCommand(unsigned id);
    // A double click: stops a running task, else opens its file, else
    // starts it.
    void ActivateTask(int row);

  signals:
    void FrontWanted();
    // A download completed: the other lists show the entry's file.
    void TaskCompleted(const TorrentRecord& task);
    void OpenAddressRequested(const QString& address);

  private:
    void SelectOnly(int row);

    CAppContext& m_context;
    CTaskListModel m_model;
    QTimer m_pollTimer;
};
