// The options dialog, the automatic update in the window and the site menu,
// offscreen.
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QFontDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>
#include <fstream>

#include "auto_update_driver.h"
#include "data_view.h"
#include "desktop_entry.h"
#include "fixture_server.h"
#include "list_style.h"
#include "main_frame.h"
#include "netfetch.h"
#include "options_dialog.h"
#include "options_pages.h"
#include "refresh_lock.h"
#include "sites_view.h"
#include "test_home.h"

namespace {

// 2026-12-08 13:05 in the tests' time zone (Asia/Shanghai).
constexpr int64_t kLunchTime = 1796706300;

QByteArray ReadFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QMessageBox* OpenMessageBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

// Catches what the desktop would be asked to open.
class AddressCatcher : public QObject {
    Q_OBJECT

  public:
    QList<QUrl> opened;

  public slots:
    void Open(const QUrl& url) { opened << url; }
};

}  // namespace

class OptionsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    }

    void storedFontAndColours_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("storedFamily");
        QTest::newRow("plain") << "DejaVu Sans" << 13 << false << "DejaVu Sans";
        QTest::newRow("bold") << "Serif" << 20 << true << "Serif";
        // 33 bytes: the record keeps the ten whole characters that fit.
        QTest::newRow("long CJK name")
            << QString(11, QChar(0x5B8B)) << 12 << false << QString(10, QChar(0x5B8B));
    }
    void storedFontAndColours() {
        QFETCH(QString, family);
        QFETCH(int, pixels);
        QFETCH(bool, bold);
        QFont font(family);
        font.setPixelSize(pixels);
        font.setBold(bold);
        const LOGFONT record = RecordFromFont(font);
        QCOMPARE(record.lfHeight, -pixels);
        const QFont back = FontFromRecord(record, QFont());
        QTEST(back.family(), "storedFamily");
        QCOMPARE(back.pixelSize(), pixels);
        QCOMPARE(back.bold(), bold);
        LOGFONT none{};
        QCOMPARE(FontFromRecord(none, font), font);
        for (uint32_t stored : {0x00FF0000U, 0x000080FFU, 0x006BB7BDU}) {
            QCOMPARE(RecordFromColour(ColourFromRecord(stored)), stored);
        }
        QCOMPARE(ColourFromRecord(0x00FF0000U), QColor(Qt::blue));
    }

    // A font or colour tried and then given up by any way out of the dialog
    // leaves the settings, the file and the lists as they were; an update
    // the scheduler started meanwhile is not undone.
    void giveUpRestores_data() {
        QTest::addColumn<bool>("font");
        QTest::addColumn<int>("way");  // 0 Cancel, 1 Escape, 2 close box
        for (bool font : {false, true}) {
            for (int way : {0, 1, 2}) {
                QTest::addRow("%s, way %d", font ? "font" : "colour", way) << font << way;
            }
        }
    }
    void giveUpRestores() {
        QFETCH(bool, font);
        QFETCH(int, way);
        TestHome home;
        auto app = StartApp(home);
        QVERIFY(app);
        CMainFrame& frame = *app->Frame();
        QSignalSpy fonts(&frame, &CMainFrame::ListFontChanged);
        QSignalSpy colours(&frame, &CMainFrame::ListColoursChanged);
        const SysSettings before = app->Context()->Config().Settings();
        const std::string fileBefore = home.Ini("SysCfg", font ? "ListFont" : "DataColor");
        COptionsDialog* dialog = frame.ShowOptions();
        CGeneralPage& general = *dialog->General();
        if (font) {
            general.FontButton()->click();
            QFontDialog* chooser = general.OpenFontDialog();
            QVERIFY(chooser);
            QFont chosen = chooser->currentFont();
            chosen.setPixelSize(23);
            chooser->setCurrentFont(chosen);
            chooser->accept();
            QCOMPARE(fonts.count(), 1);
            QCOMPARE(fonts.last().at(0).value<QFont>().pixelSize(), 23);
        } else {
            general.ColourButton(0)->click();
            QColorDialog* chooser = general.OpenColourDialog();
            QVERIFY(chooser);
            QCOMPARE(chooser->currentColor(), QColor(Qt::blue));
            chooser->setCurrentColor(Qt::red);
            chooser->accept();
            QCOMPARE(general.ColourButton(0)->Colour(), QColor(Qt::red));
            QCOMPARE(app->Context()->Config().Settings().crDataColor[0], 0x000000FFU);
        }
        app->Context()->Config().Settings().tmLastUpdate = kLunchTime;
        QPointer<COptionsDialog> alive(dialog);
        if (way == 0) {
            dialog->reject();
        } else if (way == 1) {
            QTest::keyClick(dialog, Qt::Key_Escape);
        } else {
            dialog->close();
        }
        QTRY_VERIFY(alive.isNull());
        const SysSettings& after = app->Context()->Config().Settings();
        QCOMPARE(after.crDataColor, before.crDataColor);
        QCOMPARE(after.lfListFont.lfHeight, before.lfListFont.lfHeight);
        QCOMPARE(after.tmLastUpdate, kLunchTime);
        QVERIFY(colours.count() >= 1);
        QCOMPARE(fonts.last().at(0).value<QFont>(), ListFont(kSmallListFont));
        QVERIFY(app->Context()->Config().SaveAll());
        QCOMPARE(home.Ini("SysCfg", font ? "ListFont" : "DataColor"), fileBefore);
    }

    // Stored Authen=1: the type decides what the page offers; ticking the
    // box of a type that can authenticate opens user and password at once.
    void proxyRule_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("address");
        QTest::addColumn<bool>("authenEnabled");
        QTest::addColumn<bool>("authenChecked");
        QTest::newRow("None") << 0 << false << false << false;
        QTest::newRow("Socks4") << 1 << true << false << false;
        QTest::newRow("Socks4a") << 2 << true << false << false;
        QTest::newRow("Socks5") << 3 << true << true << true;
        QTest::newRow("HTTP1.1") << 4 << true << true << true;
    }
    void proxyRule() {
        QFETCH(int, type);
        QFETCH(bool, authenChecked);
        TestHome home;
        home.SetIni("Proxy", "Type", "3");
        home.SetIni("Proxy", "Authen", "1");
        home.SetIni("Proxy", "User", "me");
        auto app = StartApp(home);
        QVERIFY(app);
        COptionsDialog* dialog = app->Frame()->ShowOptions();
        CProxyPage& page = *dialog->Proxy();
        QCOMPARE(page.Password()->echoMode(), QLineEdit::Password);
        page.Type()->setCurrentIndex(type);
        QTEST(page.Address()->isEnabled(), "address");
        QTEST(page.Authen()->isEnabled(), "authenEnabled");
        QCOMPARE(page.Authen()->isChecked(), authenChecked);
        QCOMPARE(page.User()->isEnabled(), authenChecked);
        QCOMPARE(page.Password()->isEnabled(), authenChecked);
        if (authenChecked) {
            page.Authen()->click();
            QVERIFY(!page.User()->isEnabled());
            page.Authen()->click();
            QVERIFY(page.User()->isEnabled());
        }
        page.Port()->setText("80x");
        dialog->accept();
        const _tagProxyInfo& proxy = app->Context()->Config().Settings().ProxyInfo;
        QCOMPARE(int{proxy.nType}, type);
        QCOMPARE(proxy.bAuthen != 0, authenChecked);
        QCOMPARE(proxy.nPort, 80);
        QCOMPARE(proxy.strUser, std::string("me"));
    }

    // The proxy confirmed with OK carries the next transfer, no restart.
    void proxyReachesTheNextTransfer() {
        testing_support::FixtureServer proxy;
        TestHome home;
        auto app = StartApp(home);
        QVERIFY(app);
        COptionsDialog* dialog = app->Frame()->ShowOptions();
        CProxyPage& page = *dialog->Proxy();
        page.Type()->setCurrentIndex(4);
        page.Address()->setText("127.0.0.1");
        page.Port()->setText(QString::number(proxy.Port()));
        dialog->accept();
        CDownManager download;
        QVERIFY(download.DownLoadFile("http://tessaro.invalid/page") != 0);
        QTRY_VERIFY(!proxy.Targets().empty());
        QCOMPARE(proxy.Targets().front(), std::string("http://tessaro.invalid/page"));
        download.Close();
    }

    void generalAndRefreshSave_data() {
        QTest::addColumn<QString>("delayText");
        QTest::addColumn<QString>("savedDelay");
        QTest::newRow("not a number") << "abc"
                                      << "1000";
        QTest::newRow("empty keeps") << ""
                                     << "500";
        QTest::newRow("blanks around") << " 750 "
                                       << "750";
        QTest::newRow("zero") << "0"
                              << "1000";
    }
    void generalAndRefreshSave() {
        QFETCH(QString, delayText);
        TestHome home;
        home.SetIni("Tool", "DataDelayTm", "500");
        home.SetIni("UpdateData", "Cycle", "24");
        home.SetIni("SysCfg", "MaxDownTasks", "10");
        auto app = StartApp(home);
        QVERIFY(app);
        COptionsDialog* dialog = app->Frame()->ShowOptions();
        QCOMPARE(dialog->windowTitle(), QString("Tessaro Settings"));
        const QStringList labels = {"General", "Proxy", "Refresh", " "};
        for (int n = 0; n < labels.size(); ++n) {
            QTreeWidgetItem* item = dialog->PageTree()->topLevelItem(n);
            QCOMPARE(item->text(0), labels[n]);
            dialog->PageTree()->setCurrentItem(item);
            QCOMPARE(dialog->ShownPage(), n);
        }
        QCOMPARE(dialog->General()->MaxTasks()->currentText(), QString("10"));
        QCOMPARE(dialog->Refresh()->Cycle()->currentText(), QString("24"));
        QVERIFY(!dialog->Refresh()->Cycle()->isEnabled());
        dialog->Refresh()->Enable()->click();
        QVERIFY(dialog->Refresh()->Cycle()->isEnabled());
        dialog->Refresh()->Enable()->click();
        dialog->General()->DefaultList()->setCurrentIndex(2);
        dialog->General()->Delay()->setText(delayText);
        dialog->accept();
        QTEST(QString::fromStdString(home.Ini("Tool", "DataDelayTm")), "savedDelay");
        QCOMPARE(home.Ini("UpdateData", "Cycle"), std::string("24"));
        QCOMPARE(home.Ini("SysCfg", "MaxDownTasks"), std::string("10"));
        QCOMPARE(home.Ini("SysCfg", "DefaultList"), std::string("2"));
    }

    // OK writes the autostart entry while automatic update is on and removes
    // it otherwise; removing an entry that is not there is no failure.
    void autostartFollowsOk() {
        TestHome home;
        home.SetIni("UpdateData", "RefreshTm", std::to_string(std::time(nullptr)));
        auto app = StartApp(home);
        QVERIFY(app);
        CMainFrame& frame = *app->Frame();
        const std::string entry = desktop_entry::AutostartEntryPath();
        QVERIFY(QString::fromStdString(entry).startsWith(m_config.path()));
        struct Step {
            bool bAuto;
            bool bEntry;
        };
        for (const Step step : {Step{true, true}, Step{false, false}, Step{false, false}}) {
            COptionsDialog* dialog = frame.ShowOptions();
            dialog->ShowPage(COptionsDialog::kRefresh);
            dialog->Refresh()->Enable()->setChecked(step.bAuto);
            dialog->accept();
            QCOMPARE(QFile::exists(QString::fromStdString(entry)), step.bEntry);
            QCOMPARE(home.Ini("UpdateData", "Auto"), std::string(step.bAuto ? "1" : "0"));
            QCOMPARE(frame.windowTitle().startsWith("Tessaro  Next Update Data Time"), step.bAuto);
            QVERIFY(OpenMessageBox() == nullptr);
            if (step.bEntry) {
                QVERIFY(ReadFile(entry).contains(" hide\n"));
            }
        }
    }

    // Auto 1, Cycle 1, RefreshTm two hours old: the connection test, the walk
    // through the categories in tree order, then the next time; a second
    // update of the run goes without a test. A hidden start does the same
    // without showing anything.
    void schedulerInTheWindow_data() {
        QTest::addColumn<bool>("hidden");
        QTest::newRow("visible") << false;
        QTest::newRow("hidden") << true;
    }
    void schedulerInTheWindow() {
        QFETCH(bool, hidden);
        testing_support::FixtureServer server;
        testing_support::FixtureReply slow;
        slow.body = "up";
        slow.delayMs = 300;
        server.Route("/", slow);
        TestHome home;
        home.SetIni("UpdateData", "Auto", "1");
        home.SetIni("UpdateData", "Cycle", "1");
        home.SetIni("UpdateData", "RefreshTm", std::to_string(kLunchTime - 7200));
        home.SetIni("UpdateData", "TestAddr", server.Url("/"));
        auto app =
            StartApp(home, hidden ? std::vector<std::string>{"hide"} : std::vector<std::string>{});
        QVERIFY(app);
        CMainFrame& frame = *app->Frame();
        CAutoUpdateDriver& driver = *frame.AutoUpdate();
        int64_t now = kLunchTime;
        driver.SetClock([&now] { return now; });
        QCOMPARE(driver.TimerPeriodMs(), 5000);
        QStringList walked;
        connect(frame.Tree(), &QTreeWidget::currentItemChanged, this,
                [&walked](QTreeWidgetItem* item) {
                    if (item != nullptr) {
                        walked << item->text(0);
                    }
                });

        // Ticks until the caption leaves `state`; false when it does not
        // within the deadline.
        auto tickWhile = [&](const QString& state) {
            QDeadlineTimer deadline(20000);
            while (!deadline.hasExpired()) {
                driver.Tick();
                if (!frame.windowTitle().endsWith(state)) {
                    return true;
                }
                QTest::qWait(20);
            }
            return false;
        };
        driver.Tick();
        QCOMPARE(frame.windowTitle(), QString("Tessaro  Testing Connection..."));
        QVERIFY(tickWhile("Testing Connection..."));
        QCOMPARE(frame.windowTitle(), QString("Tessaro  Updating Data now...(Automatically)"));
        QCOMPARE(driver.TimerPeriodMs(), 10000);
        QCOMPARE(app->Context()->Config().Settings().tmLastUpdate, kLunchTime);
        QVERIFY(tickWhile("Updating Data now...(Automatically)"));
        QCOMPARE(frame.windowTitle(),
                 QString("Tessaro  Next Update Data Time(Automatically): 14:05"));
        QVERIFY(walked.size() >= 5);
        QCOMPARE(walked.mid(walked.size() - 5),
                 QStringList({"Games", "Video", "Animation", "Music", "Other"}));
        QCOMPARE(server.Targets().size(), size_t{1});

        now = kLunchTime + 3601;
        driver.Tick();
        QCOMPARE(frame.windowTitle(), QString("Tessaro  Updating Data now...(Automatically)"));
        QCOMPARE(server.Targets().size(), size_t{1});
        QCOMPARE(frame.isVisible(), !hidden);
    }

    // A background refresher holds the home: the window's scheduler never
    // runs and the caption names the refresher.
    void viewerLeavesUpdateToTheRefresher() {
        TestHome home;
        home.SetIni("UpdateData", "Auto", "1");
        home.SetIni("UpdateData", "RefreshTm", "0");
        std::string error;
        auto lock = CRefreshLock::Acquire(home.Path(), error);
        QVERIFY2(lock, error.c_str());
        auto app = StartApp(home);
        QVERIFY(app);
        CAutoUpdateDriver& driver = *app->Frame()->AutoUpdate();
        QVERIFY(!driver.IsActive());
        driver.Tick();
        QCOMPARE(app->Frame()->windowTitle(),
                 QString("Tessaro  Automatic update left to the background refresher (process %1)")
                     .arg(getpid()));
        QCOMPARE(home.Ini("UpdateData", "RefreshTm"), std::string("0"));
    }

    // Missing keys are skipped: the second item opens key 2's address.
    void siteMenu() {
        TestHome home;
        std::ofstream(home.Path() + "kernel/dllmgr.ini", std::ios::trunc)
            << "[DLL]\ncount=0\n\n[PublishSites]\ncount=3\n0=Alpha|http://127.0.0.1:9/a\n"
               "2=Gamma|http://127.0.0.1:9/c|ignored\n";
        // Outside the program: the Browse tab's way is tested with the web engine.
        home.SetIni("WebCfg", "InternalWebOpen", "0");
        auto app = StartApp(home);
        QVERIFY(app);
        QMenu* sites = app->Frame()->menuBar()->actions().at(2)->menu();
        QCOMPARE(sites->title(), QString("&BTSites"));
        QCOMPARE(sites->actions().size(), 2);
        QCOMPARE(sites->actions().at(1)->text(), QString("Gamma"));
        AddressCatcher catcher;
        QDesktopServices::setUrlHandler("http", &catcher, "Open");
        sites->actions().at(1)->trigger();
        QDesktopServices::unsetUrlHandler("http");
        QCOMPARE(catcher.opened, QList<QUrl>({QUrl("http://127.0.0.1:9/c")}));
    }

  private:
    QTemporaryDir m_config;
};

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    OptionsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "options_test.moc"
