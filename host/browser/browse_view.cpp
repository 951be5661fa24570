#include "browse_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QStackedWidget>
#include <QSvgRenderer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <cstdio>

#include "ad_filter.h"
#include "texts.h"
#include "ui_text.h"
#include "web_profile.h"

// The images live in this static library; its resource initialiser would
// be dropped by the linker unless it is called.
static void InitBrowserIcons() {
    Q_INIT_RESOURCE(browser_icons);
}

namespace {

constexpr int kIconSize = 16;
constexpr int kButtonSize = 24;

// Rendered here rather than through an image plug-in, so that a missing
// plug-in cannot leave the tool row without images.
QIcon ToolIcon(const char* file) {
    static const bool bInitialised = (InitBrowserIcons(), true);
    Q_UNUSED(bInitialised);
    QIcon icon;
    for (int size : {kIconSize, kIconSize * 2}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QSvgRenderer renderer(QStringLiteral(":/browser/") + QString::fromLatin1(file));
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QString MenuText(unsigned id) {
    return ui::Text(texts::LoadMenuText(id));
}

}  // namespace

CBrowserPage::CBrowserPage(CWebBrowseView& form, QWidget* parent)
    : QWebEngineView(parent), m_form(form) {}

QWebEngineView* CBrowserPage::createWindow(QWebEnginePage::WebWindowType) {
    return m_form.NewWindowPage();
}

QSize CPageTabBar::tabSizeHint(int index) const {
    return {kTabWidth, QTabBar::tabSizeHint(index).height()};
}

CWebBrowseView::CWebBrowseView(std::string historyPath, std::vector<std::string> adFragments,
                               QWidget* parent)
    : QWidget(parent),
      m_history(std::move(historyPath)),
      m_adFragments(std::move(adFragments)),
      m_adScript(QString::fromStdString(AdRemovalScript(m_adFragments))) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* tools = new QHBoxLayout;
    tools->setContentsMargins(0, 0, 2, 0);
    tools->setSpacing(0);
    auto addButton = [this, tools](const char* icon, auto action) {
        auto* button = new QToolButton(this);
        button->setIcon(ToolIcon(icon));
        button->setIconSize({kIconSize, kIconSize});
        button->setFixedSize(kButtonSize, kButtonSize);
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, this, action);
        tools->addWidget(button);
    };
    auto onCurrentPage = [this](void (QWebEngineView::*act)()) {
        return [this, act] {
            if (CBrowserPage* page = CurrentPage()) {
                (page->*act)();
            }
        };
    };
    addButton("new_page.svg", [this] { NewPage(); });
    addButton("back.svg", onCurrentPage(&QWebEngineView::back));
    addButton("forward.svg", onCurrentPage(&QWebEngineView::forward));
    addButton("stop.svg", onCurrentPage(&QWebEngineView::stop));
    addButton("refresh.svg", onCurrentPage(&QWebEngineView::reload));

    m_pAddress = new QComboBox(this);
    m_pAddress->setEditable(true);
    // The box keeps the history in the order the history file has; typed
    // text is neither completed from nor added to the list by the box.
    m_pAddress->setInsertPolicy(QComboBox::NoInsert);
    m_pAddress->setCompleter(nullptr);
    m_pAddress->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    tools->addWidget(m_pAddress, 1);
    layout->addLayout(tools);
    connect(m_pAddress->lineEdit(), &QLineEdit::returnPressed, this,
            &CWebBrowseView::NavigateTyped);
    // Choosing from the list navigates without changing the history.
    connect(m_pAddress, &QComboBox::activated, this, [this](int nIndex) {
        if (CBrowserPage* page = CurrentPage()) {
            Navigate(page, m_pAddress->itemText(nIndex));
        }
    });

    m_pTabs = new CPageTabBar(this);
    m_pTabs->setExpanding(false);
    m_pTabs->setElideMode(Qt::ElideRight);
    m_pTabs->setUsesScrollButtons(true);
    m_pTabs->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(m_pTabs);
    layout->addSpacing(1);
    connect(m_pTabs, &QTabBar::currentChanged, this, &CWebBrowseView::ShowPage);
    // Queued: the tab strip is still inside its own mouse handling.
    connect(
        m_pTabs, &QTabBar::tabBarDoubleClicked, this,
        [this](int nIndex) {
            if (nIndex >= 0) {
                ClosePage(nIndex);
            }
        },
        Qt::QueuedConnection);
    connect(m_pTabs, &QWidget::customContextMenuRequested, this, &CWebBrowseView::ShowTabMenu);

    m_pPages = new QStackedWidget(this);
    layout->addWidget(m_pPages, 1);

    m_pProgress = new QProgressBar(this);
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_pProgress->setTextVisible(false);
    m_pProgress->setFixedHeight(kProgressHeight);
    layout->addWidget(m_pProgress);

    m_history.Load();
    FillAddressBox();
}

void CWebBrowseView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    StartEngine();
}

void CWebBrowseView::StartEngine() {
    if (m_pPages->count() == 0) {
        NewPage();
    }
}

void CWebBrowseView::OpenAddress(const QString& address) {
    StartEngine();
    if (CurrentAddress() == QLatin1String(kBlank)) {
        Navigate(CurrentPage(), address);
    } else {
        NewPage(address);
    }
}

QString CWebBrowseView::CurrentAddress() const {
    const CBrowserPage* page = CurrentPage();
    return page == nullptr ? QString::fromLatin1(kBlank) : page->url().toString();
}

CBrowserPage* CWebBrowseView::NewPage(const QString& address) {
    CBrowserPage* page = AddPage();
    Navigate(page, address);
    return page;
}

CBrowserPage* CWebBrowseView::NewWindowPage() {
    return AddPage();
}

CBrowserPage* CWebBrowseView::AddPage() {
    auto* page = new CBrowserPage(*this, m_pPages);
    page->setPage(new QWebEnginePage(SharedWebProfile(m_adFragments), page));
    connect(page, &QWebEngineView::titleChanged, this,
            [this, page](const QString& title) { OnTitleChanged(page, title); });
    // The box follows the page also where no title changes: a blanked
    // page, a jump within the page.
    connect(page, &QWebEngineView::urlChanged, this, [this, page](const QUrl& url) {
        if (page == CurrentPage()) {
            m_pAddress->setEditText(url.toString());
        }
    });
    connect(page, &QWebEngineView::loadStarted, this, [this, page] { OnProgress(page, 0); });
    connect(page, &QWebEngineView::loadProgress, this,
            [this, page](int nPercent) { OnProgress(page, nPercent); });
    connect(page, &QWebEngineView::loadFinished, this, [this, page] { OnLoadFinished(page); });
    m_pPages->addWidget(page);
    const int nIndex = m_pTabs->addTab(QString::fromLatin1(kBlank));
    m_pTabs->setCurrentIndex(nIndex);
    ShowPage(nIndex);
    return page;
}

void CWebBrowseView::Navigate(CBrowserPage* page, const QString& address) {
    page->setUrl(QUrl::fromUserInput(address));
}

void CWebBrowseView::ShowPage(int nIndex) {
    CBrowserPage* page = Page(nIndex);
    if (page == nullptr) {
        return;
    }
    m_pPages->setCurrentWidget(page);
    m_pAddress->setEditText(page->url().toString());
    m_pProgress->setValue(page->Percent() == 100 ? 0 : page->Percent());
}

void CWebBrowseView::NavigateTyped() {
    const QString text = m_pAddress->currentText();
    CBrowserPage* page = CurrentPage();
    if (text.isEmpty() || page == nullptr) {
        return;
    }
    Navigate(page, text);
    if (m_history.Add(text.toStdString())) {
        if (!m_history.Save()) {
            std::fprintf(stderr, "tessaro: cannot save the address history\n");
        }
        FillAddressBox();
    }
    m_pAddress->setEditText(text);
}

void CWebBrowseView::FillAddressBox() {
    const QSignalBlocker quiet(m_pAddress);
    const QString text = m_pAddress->currentText();
    m_pAddress->clear();
    for (const std::string& entry : m_history.Entries()) {
        m_pAddress->addItem(QString::fromStdString(entry));
    }
    m_pAddress->setEditText(text);
}

void CWebBrowseView::OnTitleChanged(CBrowserPage* page, const QString& title) {
    const int nIndex = m_pPages->indexOf(page);
    if (nIndex < 0) {
        return;
    }
    page->SetTitle(title);
    const int nWidth = m_pTabs->tabRect(0).width() - 2;
    m_pTabs->setTabText(nIndex, m_pTabs->fontMetrics().elidedText(title, Qt::ElideRight, nWidth));
    m_pTabs->setTabToolTip(nIndex, title);
    if (nIndex == CurrentIndex()) {
        m_pAddress->setEditText(page->url().toString());
    }
}

void CWebBrowseView::OnProgress(CBrowserPage* page, int nPercent) {
    page->SetPercent(nPercent);
    if (page == CurrentPage()) {
        m_pProgress->setValue(nPercent == 100 ? 0 : nPercent);
    }
}

void CWebBrowseView::OnLoadFinished(CBrowserPage* page) {
    OnProgress(page, 100);
    // Errors of the script are the page's own business and stay silent.
    page->page()->runJavaScript(m_adScript);
    emit PageLoaded(page);
}

void CWebBrowseView::ClosePage(int nIndex) {
    if (PageCount() < 2) {
        if (CBrowserPage* page = CurrentPage()) {
            Navigate(page, QString::fromLatin1(kBlank));
        }
        return;
    }
    if (nIndex < 0 || nIndex >= PageCount()) {
        return;
    }
    RemovePage(nIndex);
    const int nShown = std::min(nIndex, PageCount() - 1);
    m_pTabs->setCurrentIndex(nShown);
    ShowPage(nShown);
}

void CWebBrowseView::CloseAllPages() {
    while (PageCount() > 1) {
        RemovePage(PageCount() - 1);
    }
    if (CBrowserPage* page = Page(0)) {
        m_pTabs->setCurrentIndex(0);
        ShowPage(0);
        Navigate(page, QString::fromLatin1(kBlank));
    }
}

void CWebBrowseView::CloseOtherPages(int nIndex) {
    if (nIndex < 0 || nIndex >= PageCount()) {
        return;
    }
    for (int i = PageCount() - 1; i > nIndex; --i) {
        RemovePage(i);
    }
    for (int i = nIndex - 1; i >= 0; --i) {
        RemovePage(i);
    }
    m_pTabs->setCurrentIndex(0);
    ShowPage(0);
}

void CWebBrowseView::RemovePage(int nIndex) {
    // The page leaves the stack first, so that the tab strip's change of
    // the current tab finds pages and tabs at the same indices again.
    QWidget* page = m_pPages->widget(nIndex);
    m_pPages->removeWidget(page);
    page->deleteLater();
    m_pTabs->removeTab(nIndex);
}

void CWebBrowseView::ShowTabMenu(const QPoint& position) {
    const int nContext = m_pTabs->tabAt(position);
    if (nContext < 0) {
        return;
    }
    QMenu menu(this);
    connect(menu.addAction(MenuText(texts::ID_CLOSE_PAGE)), &QAction::triggered, this,
            [this, nContext] { ClosePage(nContext); });
    connect(menu.addAction(MenuText(texts::ID_CLOSE_ALL_PAGES)), &QAction::triggered, this,
            &CWebBrowseView::CloseAllPages);
    connect(menu.addAction(MenuText(texts::ID_CLOSE_OTHER_PAGES)), &QAction::triggered, this,
            [this, nContext] { CloseOtherPages(nContext); });
    menu.exec(m_pTabs->mapToGlobal(position));
}

int CWebBrowseView::PageCount() const {
    return m_pPages->count();
}

int CWebBrowseView::CurrentIndex() const {
    return m_pTabs->currentIndex();
}

CBrowserPage* CWebBrowseView::Page(int nIndex) const {
    return qobject_cast<CBrowserPage*>(m_pPages->widget(nIndex));
}

CBrowserPage* CWebBrowseView::CurrentPage() const {
    return Page(CurrentIndex());
}
