// CWebBrowseView: the Browse tab, a small tabbed web browser. A tool row
// (new page, back, forward, stop, refresh, the address box with its
// history), a strip of page tabs, the pages and an 8 px load progress bar.
// The web engine starts when the tab is first shown or an address is first
// opened in it, not before.
#pragma once

#include <QString>
#include <QTabBar>
#include <QWebEngineView>
#include <QWidget>
#include <string>
#include <vector>

#include "web_history.h"

class QComboBox;
class QMenu;
class QProgressBar;
class QStackedWidget;
class CWebBrowseView;

// One page of the Browse tab.
class CBrowserPage : public QWebEngineView {
    Q_OBJECT

  public:
    CBrowserPage(CWebBrowseView& form, QWidget* parent);

    // The last load progress, 0 to 100.
    int Percent() const { return m_nPercent; }
    const QString& Title() const { return m_strTitle; }
    void SetTitle(const QString& title) { m_strTitle = title; }
    void SetPercent(int nPercent) { m_nPercent = nPercent; }

  protected:
    // A page that asks for a new window gets a new tab instead.
    QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;

  private:
    CWebBrowseView& m_form;
    int m_nPercent = 0;
    QString m_strTitle;
};

// Page tabs of one fixed width.
class CPageTabBar : public QTabBar {
    Q_OBJECT

  public:
    static constexpr int kTabWidth = 150;
    using QTabBar::QTabBar;

  protected:
    QSize tabSizeHint(int index) const override;
};

class CWebBrowseView : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kProgressHeight = 8;
    static constexpr char kBlank[] = "about:blank";

    // `historyPath` is the address history's file, `adFragments` the host
    // fragments of the advertising test.
    CWebBrowseView(std::string historyPath, std::vector<std::string> adFragments,
                   QWidget* parent = nullptr);

    // Opens `address` in the current page when that shows exactly
    // "about:blank", else in a new page.
    void OpenAddress(const QString& address);
    // What the current page shows; "about:blank" before the engine started,
    // because that is what its first page will show.
    QString CurrentAddress() const;

    // A new page showing "about:blank", selected and shown.
    CBrowserPage* NewPage(const QString& address = QString::fromLatin1(kBlank));
    // A new tab, selected and shown, that the engine fills with a window a
    // page opened.
    CBrowserPage* NewWindowPage();
    // Closing a page: the last one is blanked, never closed; after a close
    // the tab at the same index, or the new last one, is shown.
    void ClosePage(int nIndex);
    // Leaves the first page, blanked.
    void CloseAllPages();
    // Leaves the page at `nIndex`.
    void CloseOtherPages(int nIndex);

    int PageCount() const;
    int CurrentIndex() const;
    CBrowserPage* Page(int nIndex) const;
    CBrowserPage* CurrentPage() const;
    QTabBar* Tabs() const { return m_pTabs; }
    QComboBox* AddressBox() const { return m_pAddress; }
    QProgressBar* Progress() const { return m_pProgress; }
    const CWebHistory& History() const { return m_history; }

  signals:
    // A page has finished loading and the ad-removal script was started in
    // it.
    void PageLoaded(CBrowserPage* page);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Makes the first page on the shared profile once.
    void StartEngine();
    CBrowserPage* AddPage();
    void ShowPage(int nIndex);
    void RemovePage(int nIndex);
    void Navigate(CBrowserPage* page, const QString& address);
    void NavigateTyped();
    void FillAddressBox();
    void OnTitleChanged(CBrowserPage* page, const QString& title);
    void OnProgress(CBrowserPage* page, int nPercent);
    void OnLoadFinished(CBrowserPage* page);
    void ShowTabMenu(const QPoint& position);

    CWebHistory m_history;
    const std::vector<std::string> m_adFragments;
    const QString m_adScript;
    QComboBox* m_pAddress = nullptr;
    CPageTabBar* m_pTabs = nullptr;
    QStackedWidget* m_pPages = nullptr;
    QProgressBar* m_pProgress = nullptr;
};
