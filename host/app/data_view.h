// CWebDataView: the right-hand pane. Four tabs (the torrent list, the
// download tasks, the search and the browser), and under them a bar with the
// refresh button, the refresh progress of the node on show and the four
// paging buttons.
//
// It shows the node chosen in the category tree a page of 100 rows at a
// time, newest first, and owns the refresh engine with its 500 ms poll: the
// bar follows the node on show, the tree's icons follow the nodes' flags,
// and the list reloads once when the node on show completes. A download
// goes out as a request for the task list.
#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "app_context.h"
#include "list_model.h"
#include "node_pager.h"
#include "record_commands.h"
#include "refresh_engine.h"

class CDataListCtrl;
class CInfoTip;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabBar;

// The lists' fonts: the face they were designed for, or a CJK-capable one.
inline constexpr int kSmallListFont = 12;
inline constexpr int kLargeListFont = 15;
QFont ListFont(int nPixelHeight);

class CWebDataView : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kPollMs = 500;
    static constexpr int kUpkeepDelayMs = kPollMs / 2;
    // A few milliseconds of merging; a 500-row poll writes fewer pages than
    // that, so the steps keep up with a refresh.
    static constexpr int kMergePagesPerUpkeep = 32;
    static constexpr int kTabStripHeight = 25;
    static constexpr int kBarHeight = 30;

    enum Tab : int { kTabTorrents, kTabTasks, kTabSearch, kTabBrowse, kTabCount };
    enum PageButton : int { kFirstPage, kPrevPage, kNextPage, kLastPage, kPageButtonCount };

    CWebDataView(CAppContext& context, QWidget* parent = nullptr);
    ~CWebDataView() override;

    // Shows the node from its first page (a null node leaves the view as it
    // is). The first call after start opens the tab DefaultList names, every
    // later one the torrent list.
    void SelectNode(CCategoryNode* pNode);
    // Reads the node on show again from its first page.
    void ReloadNode();
    CCategoryNode* ShownNode() const { return m_engine.GetSelectedNode(); }

    // Starts refreshing a node; false when it cannot be refreshed.
    bool Refresh(CCategoryNode* pNode);
    // The "RefreshData" button: the notice unless it was declined for good,
    // then a refresh of the node on show.
    void RefreshShownNode();
    bool IsRefreshing() const { return m_engine.HasActiveRefresh(); }
    // The 500 ms tick: polls the refresh engine, updates the bar and reloads
    // the node on show once it completes.
    void Poll();
    // Copies the catalogue's write-ahead log into the database without
    // waiting for anyone and takes a step of merging the search indexes. The
    // view runs it halfway between two ticks, so that no commit of a refresh
    // poll has to do either.
    void UpkeepCatalogue();
    CRefreshEngine& Engine() { return m_engine; }

    void SetTab(int nTab);
    int CurrentTab() const;
    // Puts a page into a tab in place of what it held (the view owns it).
    void SetTabPage(int nTab, QWidget* pPage);
    QWidget* TabPage(int nTab) const;

    // The page buttons, as a person would click them.
    void ClickPageButton(PageButton button);
    bool IsPageButtonEnabled(PageButton button) const;

    CDataListCtrl* TorrentList() const { return m_pList; }
    CDataListModel& TorrentModel() { return m_model; }
    // The bar's refresh state: text (empty when hidden), percent, button.
    QString ProgressText() const;
    int ProgressPercent() const;
    bool IsRefreshButtonEnabled() const;

    // The list settings (font, day colours, tip delay) as configured now:
    // at start and after the options change.
    void ApplyListSettings();
    void SetListFont(const QFont& font);
    // The torrent list's context menu for its selection (the caller owns
    // it); each item carries its command id as data.
    QMenu* CreateListMenu();
    void RunListCommand(unsigned id);
    // Opens the information tip as if the pointer rested on the row's Name.
    void OpenTipForRow(int row);
    // The tip is open and its page has loaded; its frame on the screen.
    bool IsTipLoaded() const;
    QRect TipFrame() const;
    // A fetched torrent file: its row in the torrent list shows it.
    void RecordFetched(const TorrentRecord& record);

  signals:
    void NodeShown(CCategoryNode* pNode);
    void RecordCountChanged(const QString& text);
    void NodeIconChanged(CCategoryNode* pNode);
    // A sentence for the status bar's message pane.
    void StatusMessage(const QString& text);
    // Open an address by the program's open-address rule.
    void OpenAddressRequested(const QString& address);
    // Download the entry's torrent file.
    void AddTaskRequested(const TorrentRecord& entry, bool bOpenWhenDone);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void BuildBar();
    void Fill(void (CNodePager::*fill)(std::vector<ListedRow>&));
    void UpdatePageButtons();
    void UpdateBar();
    void ShowRecordCount();
    void LeafFinished(const CRefreshEngine::LeafReport& report);
    void RowActivated(int row);
    RecordActions RecordActionsOfThisView();
    void ShowTip(int row, const QPoint& globalPos);
    void HideTip();

    CAppContext& m_context;
    CRefreshEngine m_engine;
    CDataListModel m_model;
    std::unique_ptr<CNodePager> m_pPager;
    QTimer m_pollTimer;
    QTimer m_upkeepTimer;
    bool m_bFirstSelection = true;
    bool m_bReloadDue = false;

    QTabBar* m_pTabs = nullptr;
    std::array<QWidget*, kTabCount> m_pages{};
    CDataListCtrl* m_pList = nullptr;
    QPushButton* m_pRefreshButton = nullptr;
    QLabel* m_pProgressText = nullptr;
    QProgressBar* m_pProgressBar = nullptr;
    std::array<QPushButton*, kPageButtonCount> m_pageButtons{};
    CInfoTip* m_pTip = nullptr;
    std::optional<int64_t> m_catalogueVersion;
};
