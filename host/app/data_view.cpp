#include "data_view.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>

#include "ad_filter.h"
#include "info_tip.h"
#include "list_rules.h"
#include "list_style.h"
#include "list_view.h"
#include "message_box.h"
#include "notice_dialog.h"
#include "record_commands.h"
#include "shell_rules.h"
#include "torrent_table.h"
#include "ui_text.h"

namespace {

QString String(unsigned id) {
    return ui::Text(texts::LoadString(id));
}

// Where the bar's pieces sit: x from the left, or from the right for the
// page buttons, y from the bar's top.
constexpr QRect kRefreshButton(15, 2, 80, 26);
constexpr QRect kProgressText(98, 2, 120, 15);
constexpr QRect kProgressBar(98, 18, 120, 10);
constexpr std::array<int, CWebDataView::kPageButtonCount> kPageButtonFromRight = {304, 231, 158,
                                                                                  85};
constexpr QSize kPageButton(70, 26);
constexpr std::array<unsigned, CWebDataView::kPageButtonCount> kPageButtonTexts = {
    texts::IDS_FIRST_PAGE, texts::IDS_PREV_PAGE, texts::IDS_NEXT_PAGE, texts::IDS_LAST_PAGE};
constexpr std::array<unsigned, CWebDataView::kTabCount> kTabTexts = {
    texts::IDS_TAB_TORRENT_LIST, texts::IDS_TAB_DOWNLOAD_TASKS, texts::IDS_TAB_SEARCH,
    texts::IDS_TAB_BROWSE};
// The one sentence a refresh that could not store its rows leaves in the
// status bar.
QString WriteFailedSentence(const std::string& leaf, const std::string& error) {
    const char* format = texts::GetLanguage() == texts::Language::kChinese
                             ? "%1：本次更新的数据未能保存（%2），下次更新时会重新获取。"
                             : "%1: the rows of this refresh were not stored (%2); the next "
                               "refresh fetches them again.";
    return QString::fromUtf8(format).arg(ui::Text(leaf), ui::Text(error));
}

}  // namespace

QFont ListFont(int nPixelHeight) {
    std::vector<std::string> families;
    for (const QString& family : QFontDatabase::families()) {
        families.push_back(family.toStdString());
    }
    QFont font;
    const std::string chosen = shell::ChooseListFontFamily(families);
    if (!chosen.empty()) {
        font.setFamily(QString::fromStdString(chosen));
    }
    font.setPixelSize(nPixelHeight);
    return font;
}

CWebDataView::CWebDataView(CAppContext& context, QWidget* parent)
    : QWidget(parent),
      m_context(context),
      m_engine(context.Host(), &context.Config().GetRoot()),
      m_model([&tasks = context.Tasks()](const TorrentRecord& record) {
          return tasks.TorrentFileExists(record);
      }) {
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::white);
    setPalette(background);
    setAutoFillBackground(true);

    const QFont small = ListFont(kSmallListFont);
    m_pTabs = new QTabBar(this);
    m_pTabs->setFont(small);
    m_pTabs->setExpanding(false);
    m_pTabs->setDrawBase(false);
    for (unsigned id : kTabTexts) {
        m_pTabs->addTab(String(id));
    }
    m_pList = new CDataListCtrl(this);
    m_pList->SetListModel(&m_model);
    m_pages[kTabTorrents] = m_pList;
    for (int tab = kTabTasks; tab < kTabCount; ++tab) {
        m_pages[static_cast<size_t>(tab)] = new QWidget(this);
    }
    connect(m_pTabs, &QTabBar::currentChanged, this, [this](int tab) {
        for (int i = 0; i < kTabCount; ++i) {
            m_pages[static_cast<size_t>(i)]->setVisible(i == tab);
        }
    });
    SetTab(kTabTorrents);
    BuildBar();
    ApplyListSettings();

    connect(m_pList, &CDataListCtrl::RowDoubleClicked, this, &CWebDataView::RowActivated);
    connect(m_pList, &CDataListCtrl::MenuRequested, this, [this](const QPoint& globalPos) {
        QMenu* menu = CreateListMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(globalPos);
    });
    connect(m_pList, &CDataListCtrl::TipWanted, this, &CWebDataView::ShowTip);
    connect(m_pList, &CDataListCtrl::Pressed, this, &CWebDataView::HideTip);

    m_engine.SetIconChangedCallback([this](CCategoryNode& node) { emit NodeIconChanged(&node); });
    // The poll reloads the list once it has returned.
    m_engine.SetSelectedCompletedCallback([this](CCategoryNode&) { m_bReloadDue = true; });
    m_engine.SetLeafFinishedCallback(
        [this](const CRefreshEngine::LeafReport& report) { LeafFinished(report); });

    m_catalogueVersion = m_context.Config().CatalogueDataVersion();
    m_pollTimer.setInterval(kPollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &CWebDataView::Poll);
    m_pollTimer.start();
    // A viewer does not write; the program's own writes are checkpointed and
    // their search index segments merged between the ticks.
    if (!m_context.IsViewer()) {
        CTorrentTable::SetAutoCheckpoint(false);
    }
    m_upkeepTimer.setSingleShot(true);
    m_upkeepTimer.setInterval(kUpkeepDelayMs);
    connect(&m_upkeepTimer, &QTimer::timeout, this, &CWebDataView::UpkeepCatalogue);
}

CWebDataView::~CWebDataView() = default;

void CWebDataView::BuildBar() {
    const QFont small = ListFont(kSmallListFont);
    m_pRefreshButton = new QPushButton(String(texts::IDS_REFRESH_DATA), this);
    m_pRefreshButton->setFont(small);
    connect(m_pRefreshButton, &QPushButton::clicked, this, &CWebDataView::RefreshShownNode);
    m_pProgressText = new QLabel(this);
    m_pProgressText->setFont(small);
    m_pProgressText->setAttribute(Qt::WA_TranslucentBackground);
    m_pProgressText->hide();
    m_pProgressBar = new QProgressBar(this);
    m_pProgressBar->setRange(0, 100);
    m_pProgressBar->setTextVisible(false);
    m_pProgressBar->hide();
    for (size_t i = 0; i < m_pageButtons.size(); ++i) {
        m_pageButtons[i] = new QPushButton(String(kPageButtonTexts[i]), this);
        m_pageButtons[i]->setFont(small);
        m_pageButtons[i]->setEnabled(false);
    }
    connect(m_pageButtons[kFirstPage], &QPushButton::clicked, this,
            [this] { SelectNode(ShownNode()); });
    connect(m_pageButtons[kPrevPage], &QPushButton::clicked, this,
            [this] { Fill(&CNodePager::PrevPage); });
    connect(m_pageButtons[kNextPage], &QPushButton::clicked, this,
            [this] { Fill(&CNodePager::NextPage); });
    connect(m_pageButtons[kLastPage], &QPushButton::clicked, this,
            [this] { Fill(&CNodePager::LastPage); });
    m_pRefreshButton->setEnabled(false);
}

void CWebDataView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    m_pTabs->setGeometry(0, 0, w, kTabStripHeight);
    for (QWidget* page : m_pages) {
        page->setGeometry(0, kTabStripHeight, w, std::max(0, h - kTabStripHeight - kBarHeight));
    }
    const int top = h - kBarHeight;
    m_pRefreshButton->setGeometry(kRefreshButton.translated(0, top));
    m_pProgressText->setGeometry(kProgressText.translated(0, top));
    m_pProgressBar->setGeometry(kProgressBar.translated(0, top));
    for (size_t i = 0; i < m_pageButtons.size(); ++i) {
        m_pageButtons[i]->setGeometry(
            QRect(QPoint(w - kPageButtonFromRight[i], top + 2), kPageButton));
    }
}

void CWebDataView::SetTab(int nTab) {
    if (nTab < 0 || nTab >= kTabCount) {
        return;
    }
    m_pTabs->setCurrentIndex(nTab);
    for (int i = 0; i < kTabCount; ++i) {
        m_pages[static_cast<size_t>(i)]->setVisible(i == nTab);
    }
}

int CWebDataView::CurrentTab() const {
    return m_pTabs->currentIndex();
}

void CWebDataView::SetTabPage(int nTab, QWidget* pPage) {
    // The torrent list stays: the view pages through it.
    if (nTab <= kTabTorrents || nTab >= kTabCount || pPage == nullptr) {
        return;
    }
    QWidget*& slot = m_pages[static_cast<size_t>(nTab)];
    delete slot;
    slot = pPage;
    pPage->setParent(this);
    pPage->setGeometry(0, kTabStripHeight, width(),
                       std::max(0, height() - kTabStripHeight - kBarHeight));
    pPage->setVisible(CurrentTab() == nTab);
}

QWidget* CWebDataView::TabPage(int nTab) const {
    return nTab < 0 || nTab >= kTabCount ? nullptr : m_pages[static_cast<size_t>(nTab)];
}

void CWebDataView::SelectNode(CCategoryNode* pNode) {
    if (pNode == nullptr) {
        return;
    }
    HideTip();
    SetTab(m_bFirstSelection ? m_context.Config().Settings().nDefaultList : kTabTorrents);
    m_bFirstSelection = false;
    m_engine.SetSelectedNode(pNode);
    m_pPager = std::make_unique<CNodePager>(pNode);
    Fill(&CNodePager::FirstPage);
    m_pollTimer.start();
    UpdateBar();
    ShowRecordCount();
    emit NodeShown(pNode);
}

void CWebDataView::ReloadNode() {
    SelectNode(ShownNode());
}

void CWebDataView::ShowRecordCount() {
    CCategoryNode* pNode = ShownNode();
    if (pNode == nullptr) {
        return;
    }
    emit RecordCountChanged(ui::Text(shell::FormatCount(texts::LoadString(texts::IDS_RECORD_COUNT),
                                                        CNodePager::CountRows(*pNode))));
}

void CWebDataView::Fill(void (CNodePager::*fill)(std::vector<ListedRow>&)) {
    if (!m_pPager) {
        return;
    }
    std::vector<ListedRow> rows;
    (m_pPager.get()->*fill)(rows);
    std::vector<TorrentRecord> records;
    records.reserve(rows.size());
    for (ListedRow& row : rows) {
        records.push_back(std::move(row.record));
    }
    m_model.SetRecords(std::move(records));
    UpdatePageButtons();
}

void CWebDataView::UpdatePageButtons() {
    const bool bFirst = !m_pPager || m_pPager->IsFirstPage();
    const bool bLast = !m_pPager || m_pPager->IsLastPage();
    m_pageButtons[kFirstPage]->setEnabled(!bFirst);
    m_pageButtons[kPrevPage]->setEnabled(!bFirst);
    m_pageButtons[kNextPage]->setEnabled(!bLast);
    m_pageButtons[kLastPage]->setEnabled(!bLast);
}

void CWebDataView::ClickPageButton(PageButton button) {
    m_pageButtons[static_cast<size_t>(button)]->click();
}

bool CWebDataView::IsPageButtonEnabled(PageButton button) const {
    return m_pageButtons[static_cast<size_t>(button)]->isEnabled();
}

bool CWebDataView::Refresh(CCategoryNode* pNode) {
    const bool bStarted = m_engine.StartRefresh(pNode, true);
    m_pollTimer.start();
    UpdateBar();
    return bStarted;
}

void CWebDataView::RefreshShownNode() {
    SysSettings& settings = m_context.Config().Settings();
    if (settings.bNoAskRefreshData != 0) {
        [[maybe_unused]] const bool bStarted = Refresh(ShownNode());
        return;
    }
    CNoticeDialog::Show(this, String(texts::IDS_INFO_TIP), String(texts::IDS_NOTE_REFRESH),
                        [this](bool bChecked) {
                            m_context.Config().Settings().bNoAskRefreshData = bChecked ? 1 : 0;
                            [[maybe_unused]] const bool bStarted = Refresh(ShownNode());
                        });
}

void CWebDataView::UpdateBar() {
    const CRefreshEngine::ProgressDisplay display = m_engine.GetProgressDisplay();
    m_pProgressText->setText(ui::Text(display.strText));
    m_pProgressText->setVisible(display.bProgressVisible);
    m_pProgressBar->setValue(display.nPercent);
    m_pProgressBar->setVisible(display.bProgressVisible);
    // A viewer leaves refreshing to the process that holds the home.
    m_pRefreshButton->setEnabled(display.bRefreshEnabled && !m_context.IsViewer());
}

QString CWebDataView::ProgressText() const {
    return m_pProgressText->isVisibleTo(this) ? m_pProgressText->text() : QString();
}

int CWebDataView::ProgressPercent() const {
    return m_pProgressBar->value();
}

bool CWebDataView::IsRefreshButtonEnabled() const {
    return m_pRefreshButton->isEnabled();
}

void CWebDataView::UpkeepCatalogue() {
    CTorrentTable::CheckpointPassive();
    CTorrentTable::MergeSearchIndexStep(kMergePagesPerUpkeep);
}

void CWebDataView::Poll() {
    const bool bWasRefreshing = m_engine.IsSelectedNodeRefreshing();
    if (!m_context.IsViewer()) {
        m_upkeepTimer.start();
    }
    if (m_engine.HasActiveRefresh()) {
        m_bReloadDue = false;
        m_engine.Poll();
        if (m_bReloadDue) {
            m_bReloadDue = false;
            ReloadNode();
        } else if (bWasRefreshing) {
            UpdateBar();
        }
    }
    // A viewer shows a home another process (the background refresher, a
    // command-line delete) changes under it. The window's own writes do not
    // count: it reloads after them itself.
    if (!m_context.IsViewer()) {
        return;
    }
    const std::optional<int64_t> version = m_context.Config().CatalogueDataVersion();
    if (version == m_catalogueVersion) {
        return;
    }
    m_catalogueVersion = version;
    ShowRecordCount();
    // Only the first page follows: the rows of a later page would shift
    // under the reader.
    if (m_pPager && m_pPager->IsFirstPage()) {
        Fill(&CNodePager::FirstPage);
    }
}

void CWebDataView::LeafFinished(const CRefreshEngine::LeafReport& report) {
    if (report.bWriteFailed && report.pLeaf != nullptr) {
        emit StatusMessage(WriteFailedSentence(report.pLeaf->m_strName, report.strWriteError));
    }
}

void CWebDataView::RowActivated(int row) {
    ActivateRecord(m_model.Record(row), m_context.Tasks(), this, RecordActionsOfThisView());
}

QMenu* CWebDataView::CreateListMenu() {
    const std::vector<int> rows = m_pList->SelectedRows();
    auto* menu = new QMenu(this);
    for (unsigned id : kRecordMenuItems) {
        AddRecordMenuItem(*menu, id, rows, m_model, m_context.Tasks());
    }
    connect(menu, &QMenu::triggered, this,
            [this](QAction* action) { RunListCommand(action->data().toUInt()); });
    return menu;
}

void CWebDataView::RunListCommand(unsigned id) {
    RunRecordCommand(id, m_pList->SelectedRows(), m_model, m_context.Tasks(), this,
                     RecordActionsOfThisView());
}

RecordActions CWebDataView::RecordActionsOfThisView() {
    return {[this](const TorrentRecord& entry, bool bOpen) { emit AddTaskRequested(entry, bOpen); },
            [this](const QString& address) { emit OpenAddressRequested(address); }};
}

void CWebDataView::RecordFetched(const TorrentRecord& record) {
    m_model.MarkFetched(record);
}

void CWebDataView::ShowTip(int row, const QPoint& globalPos) {
    TorrentRecord record = m_model.Record(row);
    const std::string path = m_context.Host().RenderInfoTip(record);
    if (path.empty()) {
        return;
    }
    const SysSettings& settings = m_context.Config().Settings();
    const QScreen* screen = QGuiApplication::screenAt(globalPos);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
    const TipPosition at = PlaceTip(globalPos.x(), globalPos.y(), settings.nDataTipWidth,
                                    settings.nDataTipHeight, area.top(), area.bottom() + 1);
    if (m_pTip == nullptr) {
        m_pTip = new CInfoTip(LoadAdFragments(m_context.Config()), this);
    }
    m_pTip->ShowPage(QString::fromStdString(path),
                     QRect(at.x, at.y, settings.nDataTipWidth, settings.nDataTipHeight));
}

void CWebDataView::OpenTipForRow(int row) {
    if (row < 0 || row >= m_model.rowCount()) {
        return;
    }
    const QRect name = m_pList->visualRect(m_model.index(row, CDataListModel::kName));
    ShowTip(row, m_pList->viewport()->mapToGlobal(name.center()));
}

bool CWebDataView::IsTipLoaded() const {
    return m_pTip != nullptr && m_pTip->isVisible() && m_pTip->ShownPercent() == 100;
}

QRect CWebDataView::TipFrame() const {
    return m_pTip == nullptr ? QRect() : m_pTip->frameGeometry();
}

void CWebDataView::HideTip() {
    if (m_pTip == nullptr || !m_pTip->isVisible()) {
        return;
    }
    SysSettings& settings = m_context.Config().Settings();
    settings.nDataTipWidth = m_pTip->width();
    settings.nDataTipHeight = m_pTip->height();
    m_pTip->hide();
}

void CWebDataView::ApplyListSettings() {
    const SysSettings& settings = m_context.Config().Settings();
    SetListFont(FontFromRecord(settings.lfListFont, ListFont(kSmallListFont)));
    // Every list of the tabs: the torrent list, the tasks, the results.
    for (CDataListCtrl* list : findChildren<CDataListCtrl*>()) {
        list->ListModel()->SetDayColours(settings.crDataColor);
        list->SetTipDelay(settings.nDataDelayTm);
    }
}

void CWebDataView::SetListFont(const QFont& font) {
    for (CDataListCtrl* list : findChildren<CDataListCtrl*>()) {
        list->setFont(font);
    }
}
