#include "main_frame.h"

#include <cstdio>

#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QUrl>

#include "ad_filter.h"
#include "auto_update_driver.h"
#include "browse_view.h"
#include "data_view.h"
#include "dialogs.h"
#include "icons.h"
#include "notice_dialog.h"
#include "open_address.h"
#include "options_dialog.h"
#include "search_view.h"
#include "shell_rules.h"
#include "site_list.h"
#include "sites_view.h"
#include "task_view.h"
#include "ui_text.h"

namespace {

using ui::Text;

QString MenuText(unsigned id) {
    return Text(texts::LoadMenuText(id));
}

QString String(unsigned id) {
    return Text(texts::LoadString(id));
}

constexpr int kAdPaneHeight = 30;
constexpr int kTreeWidth = 170;
constexpr int kSplitterBar = 6;
// The frame handles this many site menu ids.
constexpr size_t kMaxSiteItems = 100;

}  // namespace

CMainFrame::CMainFrame(CAppContext& context, QWidget* parent)
    : QMainWindow(parent), m_context(context) {
    setWindowTitle(String(texts::IDS_APP_TITLE));
    setWindowIcon(ui::AppIcon());
    setMinimumSize(kMinWidth, kMinHeight);
    resize(960, 640);

    m_pOuter = new QSplitter(Qt::Vertical, this);
    m_pOuter->setHandleWidth(kSplitterBar);
    m_pOuter->setChildrenCollapsible(false);
    // The advertising pane shows nothing of anyone else's: it stays empty
    // and hidden.
    m_pAdPane = new QWidget(m_pOuter);
    m_pAdPane->setFixedHeight(kAdPaneHeight);
    m_pAdPane->hide();
    auto* inner = new QSplitter(Qt::Horizontal, m_pOuter);
    inner->setHandleWidth(kSplitterBar);
    inner->setChildrenCollapsible(false);
    m_pDataView = new CWebDataView(context, nullptr);
    m_pTree = new CWebSitesView(context, *m_pDataView, inner);
    inner->addWidget(m_pDataView);
    inner->setStretchFactor(1, 1);
    inner->setSizes({kTreeWidth, width() - kTreeWidth - kSplitterBar});
    setCentralWidget(m_pOuter);

    m_pAutoUpdate = new CAutoUpdateDriver(context, *m_pTree, *m_pDataView, this);
    setWindowTitle(m_pAutoUpdate->Caption());
    connect(m_pAutoUpdate, &CAutoUpdateDriver::CaptionChanged, this,
            [this](const QString& caption) {
                setWindowTitle(caption);
                if (m_pTray != nullptr) {
                    m_pTray->setToolTip(caption);
                }
            });

    BuildMenus();
    BuildStatusBar();
    connect(m_pDataView, &CWebDataView::RecordCountChanged, m_pRecordCount, &QLabel::setText);
    connect(m_pDataView, &CWebDataView::StatusMessage, m_pMessage, &QLabel::setText);
    connect(m_pDataView, &CWebDataView::OpenAddressRequested, this, &CMainFrame::OpenAddress);
    // Made with the frame, it is a few widgets and the address history; the
    // web engine waits until the tab is first shown or opens an address.
    m_pBrowseView = new CWebBrowseView(context.Home() + "kernel/webhistory.ini",
                                       LoadAdFragments(context.Config()));
    m_pDataView->SetTabPage(CWebDataView::kTabBrowse, m_pBrowseView);
    connect(this, &CMainFrame::ListFontChanged, m_pDataView, &CWebDataView::SetListFont);
    connect(this, &CMainFrame::ListColoursChanged, m_pDataView, &CWebDataView::ApplyListSettings);
    BuildTaskAndSearchTabs();

    m_exitTimer.setInterval(kExitPollMs);
    connect(&m_exitTimer, &QTimer::timeout, this, [this] {
        if (!m_pDataView->IsRefreshing()) {
            m_exitTimer.stop();
            HandleClose();
        }
    });
    QTimer::singleShot(kStartupNoticeMs, this, &CMainFrame::ShowStartupNotice);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::BuildTaskAndSearchTabs() {
    m_pTasks = new CWebTaskView(m_context);
    m_pSearch = new CWebSearchView(m_context);
    m_pDataView->SetTabPage(CWebDataView::kTabTasks, m_pTasks);
    m_pDataView->SetTabPage(CWebDataView::kTabSearch, m_pSearch);
    const auto addTask = [this](const TorrentRecord& entry, bool bOpenWhenDone) {
        m_pTasks->AddTask(entry, bOpenWhenDone);
    };
    connect(m_pDataView, &CWebDataView::AddTaskRequested, this, addTask);
    connect(m_pSearch, &CWebSearchView::AddTaskRequested, this, addTask);
    connect(m_pTasks, &CWebTaskView::FrontWanted, this,
            [this] { m_pDataView->SetTab(CWebDataView::kTabTasks); });
    connect(m_pTasks, &CWebTaskView::TaskCompleted, this, [this](const TorrentRecord& task) {
        m_pDataView->RecordFetched(task);
        m_pSearch->RecordFetched(task);
    });
    connect(m_pTasks, &CWebTaskView::OpenAddressRequested, this, &CMainFrame::OpenAddress);
    connect(m_pSearch, &CWebSearchView::OpenAddressRequested, this, &CMainFrame::OpenAddress);
}

void CMainFrame::BuildMenus() {
    QMenu* file = menuBar()->addMenu(MenuText(texts::ID_POPUP_FILE));
    connect(file->addAction(MenuText(texts::ID_APP_EXIT)), &QAction::triggered, this,
            &CMainFrame::EndRequested);

    QMenu* options = menuBar()->addMenu(MenuText(texts::ID_POPUP_OPTIONS));
    connect(options->addAction(MenuText(texts::ID_OPTIONS_SETTINGS)), &QAction::triggered, this,
            &CMainFrame::ShowOptions);

    QMenu* sites = menuBar()->addMenu(MenuText(texts::ID_POPUP_BTSITES));
    CSiteList siteList;
    siteList.Load(m_context.Host());
    const auto& entries = siteList.GetSites();
    for (size_t k = 0; k < entries.size() && k < kMaxSiteItems; ++k) {
        QAction* item = sites->addAction(Text(entries[k].strName));
        item->setData(QString::fromStdString(entries[k].strAddress));
        connect(item, &QAction::triggered, this,
                [this, item] { OpenAddress(item->data().toString()); });
    }

    QMenu* view = menuBar()->addMenu(MenuText(texts::ID_POPUP_VIEW));
    QAction* statusItem = view->addAction(MenuText(texts::ID_VIEW_STATUS_BAR));
    statusItem->setCheckable(true);
    statusItem->setChecked(true);
    connect(statusItem, &QAction::toggled, this,
            [this](bool bOn) { statusBar()->setVisible(bOn); });

    QMenu* help = menuBar()->addMenu(MenuText(texts::ID_POPUP_HELP));
    connect(help->addAction(MenuText(texts::ID_HELP_CONTENTS)), &QAction::triggered, this, [this] {
        auto* dialog = new CHelpDialog(m_context.Home() + "help.txt", this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
    connect(help->addAction(MenuText(texts::ID_APP_ABOUT)), &QAction::triggered, this, [this] {
        auto* dialog = new CAboutDialog(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
}

COptionsDialog* CMainFrame::ShowOptions() {
    auto* dialog = new COptionsDialog(m_context.Config(), ListFont(kSmallListFont), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &COptionsDialog::ListFontChanged, this, &CMainFrame::ListFontChanged);
    connect(dialog, &COptionsDialog::ListColoursChanged, this, &CMainFrame::ListColoursChanged);
    connect(dialog, &COptionsDialog::Confirmed, m_pAutoUpdate, &CAutoUpdateDriver::UpdateCaption);
    dialog->open();
    return dialog;
}

void CMainFrame::OpenAddress(const QString& address) {
    switch (ChooseOpenTarget(address.toStdString(),
                             m_context.Config().Settings().bInternalWebOpen != 0,
                             m_pBrowseView->CurrentAddress().toStdString())) {
        case OpenTarget::kNothing:
            return;
        case OpenTarget::kDesktop:
            QDesktopServices::openUrl(QUrl(address));
            return;
        case OpenTarget::kCurrentPage:
        case OpenTarget::kNewPage:
            m_pBrowseView->OpenAddress(address);
            m_pDataView->SetTab(CWebDataView::kTabBrowse);
            return;
    }
}

void CMainFrame::BuildStatusBar() {
    const texts::Language language = texts::GetLanguage();
    m_pMessage = new QLabel(this);
    m_pMessage->setText(m_context.IsViewer() ? Text(shell::ViewerSentence(
                                                   m_context.RefresherPid().value_or(0), language))
                                             : String(texts::IDS_READY));
    statusBar()->addWidget(m_pMessage, 1);
    m_pRecordCount = new QLabel(this);
    m_pRecordCount->setMinimumWidth(fontMetrics().horizontalAdvance(QString(73, QLatin1Char(' '))));
    statusBar()->addPermanentWidget(m_pRecordCount);
    for (int i = 0; i < 2; ++i) {
        auto* narrow = new QLabel(QStringLiteral("   "), this);
        narrow->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("   ")));
        statusBar()->addPermanentWidget(narrow);
    }
}

QString CMainFrame::StatusMessage() const {
    return m_pMessage->text();
}

QString CMainFrame::RecordCountText() const {
    return m_pRecordCount->text();
}

void CMainFrame::StartHidden() {
    showMinimized();
    hide();
    UpdateTray();
}

void CMainFrame::StartVisible() {
    if (m_context.Config().GetMaximized() > 0) {
        showMaximized();
    } else {
        show();
    }
}

void CMainFrame::ShowFromOtherInstance() {
    m_exitTimer.stop();
    if (m_context.Config().GetMaximized() > 0) {
        showMaximized();
    } else {
        showNormal();
    }
    raise();
    activateWindow();
    UpdateTray();
}

void CMainFrame::ShowStartupNotice() {
    SysSettings& settings = m_context.Config().Settings();
    if (settings.bNoAskStartwhenAutoUpdateData != 0) {
        return;
    }
    CNoticeDialog::Show(isVisible() ? this : nullptr, String(texts::IDS_INFO_TIP),
                        String(texts::IDS_NOTE_AUTO_UPDATE_INTRO), [this](bool bChecked) {
                            m_context.Config().Settings().bNoAskStartwhenAutoUpdateData = bChecked;
                        });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    event->ignore();
    HandleClose();
}

void CMainFrame::HandleClose() {
    if (m_bClosing) {
        return;
    }
    SysSettings& settings = m_context.Config().Settings();
    const shell::CloseAction action =
        shell::DecideClose(settings.bAutoUpdate != 0, m_pDataView->IsRefreshing());
    if (action == shell::CloseAction::kEnd) {
        emit EndRequested();
        return;
    }
    const bool bAuto = action == shell::CloseAction::kHideForAutoUpdate;
    int32_t& noAsk = bAuto ? settings.bNoAskExitwhenAutoUpdateData : settings.bNoAskExitwhenDowning;
    auto hide = [this, bAuto] {
        m_bClosing = false;
        if (!m_context.Config().SaveAll()) {
            // Hidden, the window cannot show it; the keys are tried again at
            // the next save.
            std::fprintf(stderr, "tessaro: cannot save the settings\n");
        }
        HideToBackground();
        if (!bAuto) {
            m_exitTimer.start();
        }
    };
    if (noAsk != 0) {
        hide();
        return;
    }
    m_bClosing = true;
    const unsigned text =
        bAuto ? texts::IDS_NOTE_AUTO_UPDATE_RUNS : texts::IDS_NOTE_EXIT_WHILE_UPDATING;
    CNoticeDialog::Show(this, String(texts::IDS_INFO_TIP), String(text),
                        [&noAsk, hide](bool bChecked) {
                            noAsk = bChecked;
                            hide();
                        });
}

void CMainFrame::HideToBackground() {
    showMinimized();
    hide();
    UpdateTray();
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized() && isVisible()) {
        m_context.Config().SetMaximized(isMaximized() ? 1 : 0);
    }
}

void CMainFrame::UpdateTray() {
    if (isVisible()) {
        if (m_pTray != nullptr) {
            m_pTray->hide();
        }
        return;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    if (m_pTray == nullptr) {
        m_pTray = new QSystemTrayIcon(ui::AppIcon(), this);
        auto* menu = new QMenu(this);
        connect(menu->addAction(
                    Text(shell::LoadShellText(shell::ShellText::kTrayShow, texts::GetLanguage()))),
                &QAction::triggered, this, &CMainFrame::ShowFromOtherInstance);
        connect(menu->addAction(MenuText(texts::ID_APP_EXIT)), &QAction::triggered, this,
                &CMainFrame::EndRequested);
        m_pTray->setContextMenu(menu);
        connect(m_pTray, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger) {
                        ShowFromOtherInstance();
                    }
                });
    }
    m_pTray->setToolTip(windowTitle());
    m_pTray->show();
}
