// The Browse tab in the real web engine: the advertising filter on requests
// and in loaded pages, the address history, the page tabs, where addresses
// and new windows open, and the frame's way to it.
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <memory>
#include <optional>

#include "browse_view.h"
#include "data_view.h"
#include "fixture_server.h"
#include "main_frame.h"
#include "test_home.h"
#include "web_history.h"

namespace {

constexpr int kLoadTimeoutMs = 20000;
const std::vector<std::string> kFragments = {"banner-host"};
const QString kLongTitle = QStringLiteral("A title far too long for any tab of the strip, ") +
                           QString(40, QLatin1Char('x'));

// The elements of the page the filter works on; "{http}" and "{https}"
// stand for the fixture servers. `path` is what the fixture server is
// asked for when the element loads.
const struct {
    const char* tag;
    const char* src;
    const char* path;
    bool bAd;
} kElements[] = {
    {"img", "{http}/dir/keep.gif", "/dir/keep.gif", false},
    {"img", "{http}/ads/one.gif", "/ads/one.gif", true},
    {"img", "{http}/ads/two.gif", "/ads/two.gif", true},
    {"iframe", "{http}/ads/frame.htm", "/ads/frame.htm", true},
    {"img", "ad/x.gif", "/dir/ad/x.gif", true},
    {"img", "{http}/Ad/y.gif", "/Ad/y.gif", false},
    {"iframe", "frame.htm", "/dir/frame.htm", false},
    {"img", "{http}/banner-host/p.gif", "/banner-host/p.gif", true},
    {"img", "{https}/ads/z.gif", "", false},
};

// Runs `script` in `page` and waits for its result.
QVariant Evaluate(QWebEnginePage* page, const QString& script) {
    auto result = std::make_shared<std::optional<QVariant>>();
    page->runJavaScript(script, [result](const QVariant& value) { *result = value; });
    if (!QTest::qWaitFor([&result] { return result->has_value(); }, kLoadTimeoutMs)) {
        return QStringLiteral("(no answer)");
    }
    return **result;
}

// "blank" for about:blank, else the path a page shows.
QString Shows(const CBrowserPage* page) {
    const QUrl url = page->url();
    return url.toString() == QLatin1String("about:blank") ? QStringLiteral("blank") : url.path();
}

QStringList ShownPages(const CWebBrowseView& view) {
    QStringList shown;
    for (int i = 0; i < view.PageCount(); ++i) {
        shown << Shows(view.Page(i));
    }
    return shown;
}

QStringList BoxEntries(const CWebBrowseView& view) {
    QStringList entries;
    for (int i = 0; i < view.AddressBox()->count(); ++i) {
        entries << view.AddressBox()->itemText(i);
    }
    return entries;
}

}  // namespace

class BrowserTest : public QObject {
    Q_OBJECT

  private:
    testing_support::FixtureServer m_server;
    QTcpServer m_tlsPort;
    int m_nTlsConnections = 0;
    QTemporaryDir m_dir;

    QString Http(const QString& path) const {
        return QString::fromStdString(m_server.Url(path.toStdString()));
    }
    // The page's address of `element`.
    QString Source(const char* src) const {
        return QString::fromLatin1(src)
            .replace("{http}", Http({}))
            .replace("{https}", QStringLiteral("https://127.0.0.1:%1").arg(m_tlsPort.serverPort()));
    }
    std::unique_ptr<CWebBrowseView> MakeView(const QString& historyFile = "history.ini") {
        auto view =
            std::make_unique<CWebBrowseView>(m_dir.filePath(historyFile).toStdString(), kFragments);
        view->resize(800, 600);
        view->show();
        return view;
    }
    bool WaitShows(const CWebBrowseView& view, const QStringList& expected) {
        return QTest::qWaitFor([&] { return ShownPages(view) == expected; }, kLoadTimeoutMs);
    }
    bool Targeted(const std::string& path) const {
        const auto targets = m_server.Targets();
        return std::find(targets.begin(), targets.end(), path) != targets.end();
    }

  private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(m_tlsPort.listen(QHostAddress::LocalHost));
        connect(&m_tlsPort, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_tlsPort.nextPendingConnection()) {
                ++m_nTlsConnections;
                socket->close();
                socket->deleteLater();
            }
        });
        QString page = QStringLiteral("<html><head><title>Filtered</title></head><body>");
        for (const auto& element : kElements) {
            page += QStringLiteral("<%1 src=\"%2\"></%1>").arg(element.tag, Source(element.src));
        }
        page += "</body></html>";
        const std::map<std::string, std::string> pages = {
            {"/dir/page.htm", page.toStdString()},
            {"/opener.htm", "<title>Opener</title><script>window.open('/pop.htm');</script>"},
            {"/pop.htm", "<title>Popup</title>"},
            {"/long.htm", "<title>" + kLongTitle.toStdString() + "</title>"},
        };
        m_server.SetHandler([pages](const testing_support::FixtureRequest& request) {
            testing_support::FixtureReply reply;
            const auto found = pages.find(request.target);
            reply.body = found != pages.end() ? found->second
                                              : "<title>" + request.target.substr(1) + "</title>";
            return reply;
        });
    }

    void advertisingIsRefusedAndRemoved() {
        auto view = MakeView();
        QVERIFY2(view->PageCount() == 1, "the engine starts with the first show");
        view->OpenAddress(Http("/dir/page.htm"));
        QWebEnginePage* page = view->CurrentPage()->page();
        int nAds = 0;
        QStringList kept;
        for (const auto& element : kElements) {
            if (element.bAd) {
                ++nAds;
            } else {
                kept << Source(element.src);
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(
            Evaluate(page, "document.getElementsByTagName('ad').length").toInt(), nAds,
            kLoadTimeoutMs);
        QCOMPARE(Evaluate(page,
                          "Array.from(document.querySelectorAll('img, iframe'))"
                          ".map(e => e.getAttribute('src')).join('\\n')")
                     .toString(),
                 kept.join('\n'));
        for (const auto& element : kElements) {
            if (*element.path != '\0') {
                QVERIFY2(Targeted(element.path) != element.bAd, element.path);
            }
        }
        QTRY_VERIFY2(m_nTlsConnections > 0, "https is not filtered");
        QCOMPARE(Evaluate(page,
                          "[external.gbIsAdContent(), external.gbIsAdContent(5),"
                          " external.gbIsAdContent('http://s/banner-host/'),"
                          " external.gbIsAdContent('https://s/ads/')].join()")
                     .toString(),
                 QStringLiteral("false,false,true,false"));
    }

    void anAdvertisingPageLoadsEmpty() {
        auto view = MakeView();
        QSignalSpy finished(view->CurrentPage(), &QWebEngineView::loadFinished);
        view->OpenAddress(Http("/ads/top.htm"));
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), kLoadTimeoutMs);
        QVERIFY2(finished.last().at(0).toBool(), "no error page");
        QCOMPARE(Evaluate(view->CurrentPage()->page(), "document.body.innerHTML").toString(),
                 QString());
        QVERIFY(!Targeted("/ads/top.htm"));
    }

    void typedAddressesKeepTheirHistory() {
        const QString a = Http("/a"), b = Http("/b"), c = Http("/c");
        std::ofstream(m_dir.filePath("typed.ini").toStdString())
            << "[Web]\nCount=2\n0=" << a.toStdString() << "\n1=" << b.toStdString() << "\n";
        auto view = MakeView("typed.ini");
        QCOMPARE(BoxEntries(*view), QStringList({a, b}));

        const struct {
            QString typed;
            QStringList entries;
        } steps[] = {{b, {b, a}}, {b, {b, a}}, {c, {c, b, a}}};
        for (const auto& step : steps) {
            view->AddressBox()->setEditText(step.typed);
            QTest::keyClick(view->AddressBox()->lineEdit(), Qt::Key_Return);
            QCOMPARE(BoxEntries(*view), step.entries);
            QTRY_COMPARE(view->CurrentPage()->url().toString(), step.typed);
        }
        CWebHistory saved(m_dir.filePath("typed.ini").toStdString());
        saved.Load();
        QCOMPARE(saved.Entries(),
                 (std::vector<std::string>{c.toStdString(), b.toStdString(), a.toStdString()}));

        emit view->AddressBox()->activated(2);
        QTRY_COMPARE(view->CurrentPage()->url().toString(), a);
        QCOMPARE(BoxEntries(*view), QStringList({c, b, a}));

        const CWebBrowseView unshown(m_dir.filePath("missing.ini").toStdString(), kFragments);
        QVERIFY(BoxEntries(unshown).isEmpty());
        QVERIFY2(unshown.PageCount() == 0, "the engine waits for the first show");
    }

    void closingPages_data() {
        QTest::addColumn<int>("nPages");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("nIndex");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<int>("nCurrent");
        QTest::newRow("close the only page") << 1 << "close" << 0 << QStringList{"blank"} << 0;
        QTest::newRow("close all") << 3 << "all" << 1 << QStringList{"blank"} << 0;
        QTest::newRow("close the last") << 3 << "close" << 2 << QStringList{"/p0", "/p1"} << 1;
        QTest::newRow("close the first") << 3 << "close" << 0 << QStringList{"/p1", "/p2"} << 0;
        QTest::newRow("close the middle") << 3 << "close" << 1 << QStringList{"/p0", "/p2"} << 1;
        QTest::newRow("close others") << 3 << "others" << 1 << QStringList{"/p1"} << 0;
        QTest::newRow("double click") << 3 << "double" << 2 << QStringList{"/p0", "/p1"} << 1;
        QTest::newRow("close no tab") << 2 << "close" << -1 << QStringList{"/p0", "/p1"} << 1;
        QTest::newRow("keep no tab") << 2 << "others" << 2 << QStringList{"/p0", "/p1"} << 1;
    }

    void closingPages() {
        QFETCH(int, nPages);
        QFETCH(QString, action);
        QFETCH(int, nIndex);
        QFETCH(QStringList, left);
        QFETCH(int, nCurrent);
        auto view = MakeView();
        QStringList opened;
        for (int i = 0; i < nPages; ++i) {
            opened << QStringLiteral("/p%1").arg(i);
            view->OpenAddress(Http(opened.back()));
        }
        QVERIFY(WaitShows(*view, opened));
        if (action == "close") {
            view->ClosePage(nIndex);
        } else if (action == "all") {
            view->CloseAllPages();
        } else if (action == "others") {
            view->CloseOtherPages(nIndex);
        } else {
            QTest::mouseDClick(view->Tabs(), Qt::LeftButton, {},
                               view->Tabs()->tabRect(nIndex).center());
        }
        QVERIFY2(WaitShows(*view, left), qPrintable(ShownPages(*view).join(' ')));
        QCOMPARE(view->Tabs()->count(), left.size());
        QCOMPARE(view->CurrentIndex(), nCurrent);
        QCOMPARE(view->AddressBox()->currentText(), view->CurrentPage()->url().toString());
    }

    void openAddressReusesOnlyABlankPage() {
        auto view = MakeView();
        view->OpenAddress(Http("/first"));
        QVERIFY(WaitShows(*view, {"/first"}));
        view->OpenAddress(Http("/second"));
        QVERIFY(WaitShows(*view, {"/first", "/second"}));
        QCOMPARE(view->CurrentIndex(), 1);
        view->NewPage();
        view->OpenAddress(Http("/third"));
        QVERIFY(WaitShows(*view, {"/first", "/second", "/third"}));
    }

    void toolButtonsActOnTheCurrentPage() {
        auto view = MakeView();
        // Each page is in the page's history once its title arrived.
        view->OpenAddress(Http("/p0"));
        QTRY_COMPARE_WITH_TIMEOUT(view->CurrentPage()->Title(), "p0", kLoadTimeoutMs);
        view->AddressBox()->setEditText(Http("/p1"));
        QTest::keyClick(view->AddressBox()->lineEdit(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(view->CurrentPage()->Title(), "p1", kLoadTimeoutMs);
        const QList<QToolButton*> buttons = view->findChildren<QToolButton*>();
        const struct {
            int nButton;  // new page, back, forward, stop, refresh
            QStringList shown;
        } steps[] = {{1, {"/p0"}}, {2, {"/p1"}}, {4, {"/p1"}}, {0, {"/p1", "blank"}}};
        for (const auto& step : steps) {
            QTest::mouseClick(buttons.at(step.nButton), Qt::LeftButton);
            QVERIFY2(WaitShows(*view, step.shown), qPrintable(ShownPages(*view).join(' ')));
        }
    }

    void pagesShowTheirTitleAndProgress() {
        auto view = MakeView();
        view->OpenAddress(Http("/long.htm"));
        QTRY_COMPARE_WITH_TIMEOUT(view->Tabs()->tabToolTip(0), kLongTitle, kLoadTimeoutMs);
        const QString text = view->Tabs()->tabText(0);
        QVERIFY2(text.endsWith(QChar(0x2026)), qPrintable(text));
        QVERIFY(view->Tabs()->fontMetrics().horizontalAdvance(text) <=
                view->Tabs()->tabRect(0).width() - 2);
        QTRY_COMPARE(view->Progress()->value(), 0);
        QCOMPARE(view->Progress()->height(), CWebBrowseView::kProgressHeight);
    }

    void aNewWindowBecomesATab() {
        auto view = MakeView();
        view->OpenAddress(Http("/opener.htm"));
        QVERIFY(WaitShows(*view, {"/opener.htm", "/pop.htm"}));
        QCOMPARE(view->CurrentIndex(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(view->Tabs()->tabText(1), QStringLiteral("Popup"),
                                  kLoadTimeoutMs);
    }
};

// Where the frame opens an address: the Browse tab, the desktop or nowhere.
class FrameBrowseTest : public QObject {
    Q_OBJECT

  public slots:
    void OpenedOnDesktop(const QUrl& url) { m_desktop << url.toString(); }

  private:
    QStringList m_desktop;

  private slots:
    void initTestCase() {
        for (const char* scheme : {"http", "mailto", "file"}) {
            QDesktopServices::setUrlHandler(scheme, this, "OpenedOnDesktop");
        }
    }

    void cleanupTestCase() {
        for (const char* scheme : {"http", "mailto", "file"}) {
            QDesktopServices::unsetUrlHandler(scheme);
        }
    }

    void openAddress_data() {
        QTest::addColumn<QString>("bInternal");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("bBrowseTab");
        QTest::addColumn<bool>("bDesktop");
        const QString web = "http://127.0.0.1:9/a";
        QTest::newRow("web, inside") << "1" << web << true << false;
        QTest::newRow("web, outside") << "0" << web << false << true;
        QTest::newRow("mail") << "1"
                              << "mailto:a@b.example" << false << true;
        QTest::newRow("local file") << "1"
                                    << "file:///etc/passwd" << false << false;
    }

    void openAddress() {
        QFETCH(QString, bInternal);
        QFETCH(QString, address);
        QFETCH(bool, bBrowseTab);
        QFETCH(bool, bDesktop);
        TestHome home;
        home.SetIni("WebCfg", "InternalWebOpen", bInternal.toStdString());
        auto app = StartApp(home);
        QVERIFY(app != nullptr);
        CMainFrame& frame = *app->Frame();
        m_desktop.clear();
        frame.OpenAddress(address);
        QCOMPARE(frame.DataView()->CurrentTab() == CWebDataView::kTabBrowse, bBrowseTab);
        QCOMPARE(frame.BrowseView()->PageCount() > 0, bBrowseTab);
        if (bBrowseTab) {
            QCOMPARE(frame.BrowseView()->CurrentAddress(), address);
        }
        QCOMPARE(m_desktop, bDesktop ? QStringList{address} : QStringList{});
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    BrowserTest browser;
    FrameBrowseTest frame;
    return QTest::qExec(&browser, argc, argv) | QTest::qExec(&frame, argc, argv);
}

#include "browser_test.moc"
