#include "task_view.h"

#include <QDesktopServices>
#include <QItemSelectionModel>
#include <QMenu>
#include <QUrl>
#include <algorithm>

#include "data_view.h"
#include "list_rules.h"
#include "list_style.h"
#include "message_box.h"
#include "ui_text.h"

namespace {

bool OpenWithDesktop(const std::string& path, const std::string&) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

constexpr std::array<unsigned, 6> kTaskMenuItems = {
    texts::ID_TASK_OPEN_TORRENT, texts::ID_START_DOWNLOAD, texts::ID_STOP_DOWNLOAD,
    texts::ID_AUTO_OPEN,         texts::ID_VIEW_WEB_PAGE,  texts::ID_DELETE_TASK};

}  // namespace

CTaskListModel::CTaskListModel(CDownloadTasks& tasks, QObject* parent)
    : CDataListModel(
          [&tasks](const TorrentRecord& record) { return tasks.TorrentFileExists(record); },
          parent),
      m_tasks(tasks) {}

void CTaskListModel::Sync() {
    const int count = static_cast<int>(m_tasks.GetCount());
    if (rowCount() > count) {
        Clear();
    }
    std::vector<TorrentRecord> added;
    for (int row = rowCount(); row < count; ++row) {
        added.push_back(m_tasks.GetTask(static_cast<size_t>(row)));
    }
    AppendRecords(std::move(added));
    for (int row = 0; row < count; ++row) {
        const TorrentRecord& task = m_tasks.GetTask(static_cast<size_t>(row));
        SetRecord(row, task);
        SetRowState(row, CDownloadTasks::GetStateIcon(task),
                    QString::fromStdString(CDownloadTasks::GetPercentText(task)));
    }
}

void CTaskListModel::sort(int column, Qt::SortOrder order) {
    if (column <= kIndex || column >= kColumnCount) {
        return;
    }
    RememberSort(column, order);
    const bool bAscending = order == Qt::AscendingOrder;
    m_tasks.SortTasks([column, bAscending](const TorrentRecord& a, const TorrentRecord& b) {
        return bAscending ? CompareRecords(a, b, column) < 0 : CompareRecords(b, a, column) < 0;
    });
    Sync();
}

TaskMenuState TaskMenuRules(const std::vector<SelectedTask>& selected) {
    TaskMenuState state;
    const bool bOne = selected.size() == 1;
    state.bOpen = bOne && selected.front().bHasFile;
    state.bViewPage = bOne;
    state.bDelete = !selected.empty();
    state.bAutoOpenChecked = !selected.empty();
    for (const SelectedTask& task : selected) {
        state.bStart |= task.nState >= CDownloadTasks::kCompleted;
        state.bStop |= task.nState < CDownloadTasks::kCompleted;
        state.bAutoOpenChecked &= task.bAutoOpen;
    }
    return state;
}

CWebTaskView::CWebTaskView(CAppContext& context, QWidget* parent)
    : CDataListCtrl(parent), m_context(context), m_model(context.Tasks()) {
    SetListModel(&m_model);
    const SysSettings& settings = context.Config().Settings();
    setFont(FontFromRecord(settings.lfListFont, ListFont(kSmallListFont)));
    m_model.SetDayColours(settings.crDataColor);

    CDownloadTasks& tasks = context.Tasks();
    tasks.SetFileOpener(OpenWithDesktop);
    tasks.SetCompletedCallback([this](const TorrentRecord& task) { emit TaskCompleted(task); });
    tasks.SetOpenFailedCallback([this](CDownloadTasks::OpenResult result, const TorrentRecord&) {
        ui::ShowMessageBox(this, ui::MessageKind::kError,
                           ui::Text(CDownloadTasks::GetOpenFailureText(result)));
    });
    m_model.Sync();

    connect(this, &CDataListCtrl::RowDoubleClicked, this, &CWebTaskView::ActivateTask);
    connect(this, &CDataListCtrl::MenuRequested, this, [this](const QPoint& globalPos) {
        QMenu* menu = CreateTaskMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(globalPos);
    });
    m_pollTimer.setInterval(kPollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &CWebTaskView::Poll);
    m_pollTimer.start();
}

CWebTaskView::~CWebTaskView() {
    // The tasks outlive the list.
    CDownloadTasks& tasks = m_context.Tasks();
    tasks.SetCompletedCallback(nullptr);
    tasks.SetOpenFailedCallback(nullptr);
}

void CWebTaskView::AddTask(TorrentRecord entry, bool bOpenWhenDone) {
    entry.Reserved = bOpenWhenDone ? 1 : 0;
    const CDownloadTasks::AddResult added = m_context.Tasks().AddTask(entry);
    m_model.Sync();
    SelectOnly(static_cast<int>(added.nIndex));
    emit FrontWanted();
}

void CWebTaskView::Poll() {
    m_context.Tasks().Poll();
    m_model.Sync();
}

void CWebTaskView::SelectOnly(int row) {
    const QModelIndex index = m_model.index(row, 0);
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

void CWebTaskView::ActivateTask(int row) {
    CDownloadTasks& tasks = m_context.Tasks();
    const auto nIndex = static_cast<size_t>(row);
    const TorrentRecord& task = tasks.GetTask(nIndex);
    if (CDownloadTasks::IsRunning(task)) {
        tasks.StopTask(nIndex);
    } else if (tasks.TorrentFileExists(task)) {
        OpenTorrentOrExplain(this, tasks, task);
    } else {
        [[maybe_unused]] const bool bStarted = tasks.StartTask(nIndex);
    }
    m_model.Sync();
}

QMenu* CWebTaskView::CreateTaskMenu() {
    CDownloadTasks& tasks = m_context.Tasks();
    std::vector<SelectedTask> selected;
    for (int row : SelectedRows()) {
        const TorrentRecord& task = tasks.GetTask(static_cast<size_t>(row));
        selected.push_back(
            {CDownloadTasks::GetState(task), task.Reserved != 0, tasks.TorrentFileExists(task)});
    }
    const TaskMenuState state = TaskMenuRules(selected);
    auto* menu = new QMenu(this);
    for (unsigned id : kTaskMenuItems) {
        QAction* action = menu->addAction(ui::Text(texts::LoadMenuText(id)));
        action->setData(id);
        switch (id) {
            case texts::ID_TASK_OPEN_TORRENT:
                action->setEnabled(state.bOpen);
                break;
            case texts::ID_START_DOWNLOAD:
                action->setEnabled(state.bStart);
                break;
            case texts::ID_STOP_DOWNLOAD:
                action->setEnabled(state.bStop);
                break;
            case texts::ID_AUTO_OPEN:
                action->setCheckable(true);
                action->setChecked(state.bAutoOpenChecked);
                break;
            case texts::ID_VIEW_WEB_PAGE:
                action->setEnabled(state.bViewPage);
                break;
            default:
                action->setEnabled(state.bDelete);
                break;
        }
    }
    connect(menu, &QMenu::triggered, this,
            [this](QAction* action) { RunTaskCommand(action->data().toUInt()); });
    return menu;
}

void CWebTaskView::RunTaskCommand(unsigned id) {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        return;
    }
    CDownloadTasks& tasks = m_context.Tasks();
    const auto task = [&tasks](int row) -> const TorrentRecord& {
        return tasks.GetTask(static_cast<size_t>(row));
    };
    switch (id) {
        case texts::ID_TASK_OPEN_TORRENT:
            if (rows.size() == 1) {
                OpenTorrentOrExplain(this, tasks, task(rows.front()));
            }
            break;
        case texts::ID_START_DOWNLOAD:
            for (int row : rows) {
                const uint8_t nState = CDownloadTasks::GetState(task(row));
                if (nState > CDownloadTasks::kCompleted) {
                    [[maybe_unused]] const bool bStarted =
                        tasks.StartTask(static_cast<size_t>(row));
                }
            }
            break;
        case texts::ID_STOP_DOWNLOAD:
            for (int row : rows) {
                if (CDownloadTasks::IsRunning(task(row))) {
                    tasks.StopTask(static_cast<size_t>(row));
                }
            }
            break;
        case texts::ID_AUTO_OPEN: {
            const bool bAll = std::all_of(rows.begin(), rows.end(),
                                          [&](int row) { return task(row).Reserved != 0; });
            for (int row : rows) {
                tasks.SetAutoOpen(static_cast<size_t>(row), !bAll);
            }
            break;
        }
        case texts::ID_VIEW_WEB_PAGE:
            if (rows.size() == 1) {
                emit OpenAddressRequested(ui::Text(task(rows.front()).WebAddr));
            }
            break;
        case texts::ID_DELETE_TASK:
            for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
                tasks.DeleteTask(static_cast<size_t>(*it));
            }
            clearSelection();
            break;
        default:
            break;
    }
    m_model.Sync();
}
