// CWebSearchView: the search form. A keyword looks into the local catalogue
// (every leaf, by name, at once) and into every site through its plug-in;
// the sites' rows are appended every 100 ms with their combined progress
// until they are done or the user stops. The keyword box keeps the recent
// keywords, read when the form opens and written when it closes.
//
// The result rows download and open like the torrent list's; downloads go
// out as requests for the task list.
#pragma once

#include <QTimer>
#include <QWidget>

#include "app_context.h"
#include "list_model.h"
#include "record_commands.h"
#include "search_session.h"

class CDataListCtrl;
class QComboBox;
class QMenu;
class QProgressBar;
class QPushButton;

class CWebSearchView : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kPollMs = CSearchSession::kPollIntervalMs;

    explicit CWebSearchView(CAppContext& context, QWidget* parent = nullptr);
    // Writes the keyword history.
    ~CWebSearchView() override;

    // The button and Enter in the keyword box: starts a search when idle,
    // stops the one that runs otherwise.
    void StartOrStop();
    bool IsSearching() const { return m_bSitesDue || m_session.IsSearching(); }
    // One tick of the site search: progress, new rows, the end.
    void Poll();

    QComboBox* KeywordBox() const { return m_pKeywords; }
    QPushButton* StartButton() const { return m_pButton; }
    int Progress() const;
    CDataListCtrl* ResultList() const { return m_pList; }
    CDataListModel& ResultModel() { return m_model; }

    // The "searchlist" menu for the selection (the caller owns it); each
    // item carries its command id as data.
    QMenu* CreateResultMenu();
    void RunResultCommand(unsigned id);
    // A fetched torrent file: its row shows it.
    void RecordFetched(const TorrentRecord& record);

  signals:
    void AddTaskRequested(const TorrentRecord& entry, bool bOpenWhenDone);
    void OpenAddressRequested(const QString& address);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Start();
    void StartSites();
    void Stop();
    void ShowHistory();
    void AppendNewRows();
    void RowActivated(int row);
    RecordActions RecordActionsOfThisView();
    // Keeps the rows that are not selected.
    void DeleteSelectedRows();

    CAppContext& m_context;
    CSearchSession m_session;
    CDataListModel m_model;
    // How many of the session's rows the list has taken.
    size_t m_nShownRows = 0;
    // The local rows are shown; the site search starts next.
    bool m_bSitesDue = false;
    QTimer m_pollTimer;
    QPushButton* m_pButton = nullptr;
    QComboBox* m_pKeywords = nullptr;
    QProgressBar* m_pProgress = nullptr;
    CDataListCtrl* m_pList = nullptr;
};
