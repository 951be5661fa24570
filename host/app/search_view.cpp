#include "search_view.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <cstdio>
#include <set>

#include "data_view.h"
#include "list_style.h"
#include "list_view.h"
#include "message_box.h"
#include "record_commands.h"
#include "task_view.h"
#include "ui_text.h"

namespace {

QString String(unsigned id) {
    return ui::Text(texts::LoadString(id));
}

// The form's pieces; the box, the bar and the list stretch with the form.
constexpr QRect kButton(3, 3, 80, 29);
constexpr int kBoxLeft = 86;
constexpr int kBoxTop = 3;
constexpr int kBoxHeight = 24;
constexpr int kBarTop = 27;
constexpr int kBarHeight = 8;
constexpr int kListTop = 38;

constexpr std::array<unsigned, 2> kDeleteMenuItems = {texts::ID_DELETE_ROWS,
                                                      texts::ID_DELETE_ALL_ROWS};

}  // namespace

CWebSearchView::CWebSearchView(CAppContext& context, QWidget* parent)
    : QWidget(parent),
      m_context(context),
      m_session(context.Host(), context.Config()),
      m_model([&tasks = context.Tasks()](const TorrentRecord& record) {
          return tasks.TorrentFileExists(record);
      }) {
    const QFont small = ListFont(kSmallListFont);
    m_pButton = new QPushButton(String(texts::IDS_START_SEARCH), this);
    m_pButton->setFont(small);
    m_pKeywords = new QComboBox(this);
    m_pKeywords->setEditable(true);
    m_pKeywords->setInsertPolicy(QComboBox::NoInsert);
    m_pKeywords->setFont(small);
    m_pProgress = new QProgressBar(this);
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_pProgress->setTextVisible(false);
    m_pList = new CDataListCtrl(this);
    m_pList->SetListModel(&m_model);
    const SysSettings& settings = context.Config().Settings();
    m_pList->setFont(FontFromRecord(settings.lfListFont, small));
    m_model.SetDayColours(settings.crDataColor);

    m_session.LoadHistory();
    ShowHistory();
    m_pKeywords->setCurrentIndex(-1);

    connect(m_pButton, &QPushButton::clicked, this, &CWebSearchView::StartOrStop);
    // The box takes Enter itself: passed on, the combo box would hand it
    // back to its line edit, and one key would start and stop.
    m_pKeywords->lineEdit()->installEventFilter(this);
    connect(m_pList, &CDataListCtrl::RowDoubleClicked, this, &CWebSearchView::RowActivated);
    connect(m_pList, &CDataListCtrl::MenuRequested, this, [this](const QPoint& globalPos) {
        QMenu* menu = CreateResultMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(globalPos);
    });
    m_pollTimer.setInterval(kPollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &CWebSearchView::Poll);
}

CWebSearchView::~CWebSearchView() {
    if (!m_session.SaveHistory()) {
        std::fprintf(stderr, "tessaro: cannot save the search keywords\n");
    }
}

void CWebSearchView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int cx = width();
    const int cy = height();
    m_pButton->setGeometry(kButton);
    m_pKeywords->setGeometry(kBoxLeft, kBoxTop, std::max(0, cx - 89), kBoxHeight);
    m_pProgress->setGeometry(kBoxLeft, kBarTop, std::max(0, cx - 89), kBarHeight);
    m_pList->setGeometry(3, kListTop, std::max(0, cx - 6), std::max(0, cy - kListTop));
}

bool CWebSearchView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pKeywords->lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            StartOrStop();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

int CWebSearchView::Progress() const {
    return m_pProgress->value();
}

void CWebSearchView::StartOrStop() {
    if (m_session.IsSearching()) {
        Stop();
    } else {
        Start();
    }
}

void CWebSearchView::Start() {
    m_model.Clear();
    m_nShownRows = 0;
    const std::string keyword = m_pKeywords->currentText().toStdString();
    // The local rows first: the sites start once they are drawn, as
    // loading the plug-ins on a first search takes a while.
    if (m_session.Start(keyword, {true, false}) == CSearchSession::StartResult::kEmptyKeyword) {
        ui::ShowMessageBox(this, ui::MessageKind::kWarning, String(texts::IDS_NO_KEYWORD));
        return;
    }
    ShowHistory();
    AppendNewRows();
    m_pProgress->setValue(0);
    m_pButton->setText(String(texts::IDS_STOP_SEARCH));
    m_bSitesDue = true;
    QTimer::singleShot(0, this, &CWebSearchView::StartSites);
    m_pollTimer.start();
}

void CWebSearchView::StartSites() {
    if (!m_bSitesDue) {
        return;
    }
    m_bSitesDue = false;
    // The session keeps the site rows alone from here on; the list keeps
    // the local ones.
    [[maybe_unused]] const CSearchSession::StartResult started =
        m_session.Start(m_session.GetKeyword(), {false, true});
    m_nShownRows = 0;
}

void CWebSearchView::Stop() {
    m_bSitesDue = false;
    m_session.Stop();
    m_pollTimer.stop();
    m_pButton->setText(String(texts::IDS_START_SEARCH));
}

void CWebSearchView::Poll() {
    StartSites();
    m_session.Poll();
    m_pProgress->setValue(m_session.GetProgress());
    AppendNewRows();
    if (!m_session.IsSearching()) {
        Stop();
    }
}

void CWebSearchView::ShowHistory() {
    const QString typed = m_pKeywords->currentText();
    m_pKeywords->clear();
    for (const std::string& keyword : m_session.GetHistory()) {
        m_pKeywords->addItem(ui::Text(keyword));
    }
    m_pKeywords->setCurrentIndex(m_pKeywords->count() > 0 ? 0 : -1);
    if (m_pKeywords->count() == 0) {
        m_pKeywords->setEditText(typed);
    }
}

void CWebSearchView::AppendNewRows() {
    const std::vector<CSearchSession::ResultRow>& rows = m_session.GetRows();
    if (m_nShownRows >= rows.size()) {
        return;
    }
    std::vector<TorrentRecord> records;
    records.reserve(rows.size() - m_nShownRows);
    for (size_t i = m_nShownRows; i < rows.size(); ++i) {
        records.push_back(rows[i].record);
    }
    m_nShownRows = rows.size();
    m_model.AppendRecords(std::move(records));
}

void CWebSearchView::RowActivated(int row) {
    ActivateRecord(m_model.Record(row), m_context.Tasks(), this, RecordActionsOfThisView());
}

QMenu* CWebSearchView::CreateResultMenu() {
    const std::vector<int> rows = m_pList->SelectedRows();
    auto* menu = new QMenu(this);
    for (unsigned id : kRecordMenuItems) {
        AddRecordMenuItem(*menu, id, rows, m_model, m_context.Tasks());
    }
    for (unsigned id : kDeleteMenuItems) {
        AddRecordMenuItem(*menu, id, rows, m_model, m_context.Tasks());
    }
    connect(menu, &QMenu::triggered, this,
            [this](QAction* action) { RunResultCommand(action->data().toUInt()); });
    return menu;
}

void CWebSearchView::RunResultCommand(unsigned id) {
    if (RunRecordCommand(id, m_pList->SelectedRows(), m_model, m_context.Tasks(), this,
                         RecordActionsOfThisView())) {
        return;
    }
    if (id == texts::ID_DELETE_ROWS) {
        DeleteSelectedRows();
    } else if (id == texts::ID_DELETE_ALL_ROWS) {
        m_model.Clear();
    }
}

RecordActions CWebSearchView::RecordActionsOfThisView() {
    return {[this](const TorrentRecord& entry, bool bOpen) { emit AddTaskRequested(entry, bOpen); },
            [this](const QString& address) { emit OpenAddressRequested(address); }};
}

void CWebSearchView::DeleteSelectedRows() {
    const std::vector<int> selected = m_pList->SelectedRows();
    if (selected.empty()) {
        return;
    }
    const std::set<int> doomed(selected.begin(), selected.end());
    std::vector<TorrentRecord> kept;
    for (int row = 0; row < m_model.rowCount(); ++row) {
        if (doomed.count(row) == 0) {
            kept.push_back(m_model.Record(row));
        }
    }
    m_model.SetRecords(std::move(kept));
}

void CWebSearchView::RecordFetched(const TorrentRecord& record) {
    m_model.MarkFetched(record);
    m_session.UpdateEntry(record);
}
