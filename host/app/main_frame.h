// CMainFrame: the one top-level window: menus, status bar, the advertising
// pane (kept empty and hidden), the category tree and the data view. It
// decides what closing means: hiding while automatic update or a refresh
// goes on, ending otherwise.
#pragma once

#include <QMainWindow>
#include <QTimer>

#include "app_context.h"

class CAutoUpdateDriver;
class COptionsDialog;
class CWebBrowseView;
class CWebDataView;
class CWebSearchView;
class CWebTaskView;
class CWebSitesView;
class QLabel;
class QSplitter;
class QSystemTrayIcon;

class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    static constexpr int kMinWidth = 730;
    static constexpr int kMinHeight = 500;
    static constexpr int kStartupNoticeMs = 10;
    static constexpr int kExitPollMs = 100;

    explicit CMainFrame(CAppContext& context, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CWebSitesView* Tree() const { return m_pTree; }
    CWebDataView* DataView() const { return m_pDataView; }
    // The Browse tab; its web engine starts when the tab is first shown or
    // opens an address.
    CWebBrowseView* BrowseView() const { return m_pBrowseView; }
    CWebTaskView* TaskView() const { return m_pTasks; }
    CWebSearchView* SearchView() const { return m_pSearch; }
    QWidget* AdPane() const { return m_pAdPane; }
    CAutoUpdateDriver* AutoUpdate() const { return m_pAutoUpdate; }
    QString StatusMessage() const;
    QString RecordCountText() const;
    bool IsEndPending() const { return m_exitTimer.isActive(); }

    // A hidden start: minimised, then hidden.
    void StartHidden();
    // A visible start, maximised when it was left maximised.
    void StartVisible();
    // A second start asked for the window: cancel a pending end, show and
    // restore.
    void ShowFromOtherInstance();
    // The open-address rule: web addresses open in the Browse tab, which
    // comes to the front, when InternalWebOpen is on, else on the desktop,
    // as mail addresses always do.
    void OpenAddress(const QString& address);
    // Options → Settings: opens the options dialog (window-modal) and
    // returns it; it deletes itself when closed.
    COptionsDialog* ShowOptions();

  signals:
    // The program should end now.
    void EndRequested();
    // The lists take this font, or repaint in the colours of the settings.
    void ListFontChanged(const QFont& font);
    void ListColoursChanged();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void BuildMenus();
    void BuildStatusBar();
    // The download tasks and the search in their tabs, and the roads
    // between the lists: downloads, fetched files, addresses.
    void BuildTaskAndSearchTabs();
    void ShowStartupNotice();
    void HandleClose();
    void HideToBackground();
    void UpdateTray();

    CAppContext& m_context;
    QSplitter* m_pOuter = nullptr;
    QWidget* m_pAdPane = nullptr;
    CWebSitesView* m_pTree = nullptr;
    CWebDataView* m_pDataView = nullptr;
    CWebBrowseView* m_pBrowseView = nullptr;
    CWebTaskView* m_pTasks = nullptr;
    CWebSearchView* m_pSearch = nullptr;
    QLabel* m_pMessage = nullptr;
    QLabel* m_pRecordCount = nullptr;
    QSystemTrayIcon* m_pTray = nullptr;
    CAutoUpdateDriver* m_pAutoUpdate = nullptr;
    QTimer m_exitTimer;
    // A notice of the close handling is open; a second close waits for it.
    bool m_bClosing = false;
};
