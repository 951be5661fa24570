// The desktop program offscreen: start-up, the single-instance rule, the
// category tree and its menu, closing, and the viewer mode.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <filesystem>

#include "data_view.h"
#include "main_frame.h"
#include "notice_dialog.h"
#include "refresh_lock.h"
#include "rules_test.h"
#include "sites_view.h"
#include "test_home.h"

namespace {

constexpr int kProcessTimeoutMs = 60000;
constexpr char kAnimeLeaf[] = "anime_animation";

template <typename T>
T* OpenTopLevel() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(widget); found != nullptr && found->isVisible()) {
            return found;
        }
    }
    return nullptr;
}

QProcess* StartProgram(const QStringList& args, const QString& xdgDataHome = {}) {
    auto* process = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("ASAN_OPTIONS", "detect_leaks=0");
    if (!xdgDataHome.isEmpty()) {
        environment.insert("XDG_DATA_HOME", xdgDataHome);
    }
    process->setProcessEnvironment(environment);
    process->start(QString::fromLatin1(TESSARO_PROGRAM), args);
    return process;
}

CCategoryNode* FindNode(CMainFrame& frame, const std::string& name) {
    CCategoryNode& root = frame.Tree()->NodeOf(frame.Tree()->topLevelItem(0))[0];
    if (root.m_strName == name) {
        return &root;
    }
    for (size_t i = 1; i < root.GetChildCount(); ++i) {
        for (CCategoryNode* node : {root.GetChild(i)}) {
            if (node->m_strName == name) {
                return node;
            }
            for (size_t j = 1; j < node->GetChildCount(); ++j) {
                if (node->GetChild(j)->m_strTableName == name) {
                    return node->GetChild(j);
                }
            }
        }
    }
    return nullptr;
}

void Select(CMainFrame& frame, CCategoryNode* node) {
    frame.Tree()->setCurrentItem(node == nullptr ? nullptr : frame.Tree()->ItemOf(*node));
    if (node == nullptr) {
        frame.Tree()->clearSelection();
    }
}

QAction* MenuAction(QMenu* menu, unsigned id) {
    for (QAction* action : menu->actions()) {
        if (action->menu() != nullptr) {
            if (QAction* inner = MenuAction(action->menu(), id)) {
                return inner;
            }
        } else if (action->data().toUInt() == id) {
            return action;
        }
    }
    return nullptr;
}

}  // namespace

class AppTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void hiddenStart_data() {
        QTest::addColumn<QString>("parameter");
        QTest::addColumn<bool>("visible");
        QTest::newRow("hide") << "hide" << false;
        QTest::newRow("HIDE") << "HIDE" << true;
        QTest::newRow("none") << "" << true;
    }
    void hiddenStart() {
        QFETCH(QString, parameter);
        TestHome home;
        auto app = StartApp(home, parameter.isEmpty() ? std::vector<std::string>{}
                                                      : std::vector{parameter.toStdString()});
        QVERIFY(app);
        QCoreApplication::processEvents();
        QTEST(app->Frame()->isVisible(), "visible");
        QCOMPARE(app->Frame()->windowTitle(), QString("Tessaro"));
        QCOMPARE(app->Frame()->minimumSize(), QSize(730, 500));
    }

    // A second start hands over to the first, which comes back from hiding;
    // a socket file left by a crashed program is no obstacle.
    void singleInstance() {
        TestHome home;
        const std::string name =
            shell::InstanceName(getuid(), std::filesystem::canonical(home.Path()).string() + "/");
        const std::string socketPath = QDir::tempPath().toStdString() + "/" + name;
        const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
        QCOMPARE(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        close(stale);

        auto app = StartApp(home, {"hide"});
        QVERIFY(app);
        QCOMPARE(app->InstanceName(), name);
        QVERIFY(!app->Frame()->isVisible());
        std::unique_ptr<QProcess> second(
            StartProgram({"--home", QString::fromStdString(home.Path())}));
        QVERIFY(second->waitForFinished(kProcessTimeoutMs));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QTRY_VERIFY(app->Frame()->isVisible());
        QVERIFY(!app->Frame()->isMinimized());
    }

    // The entry's Exec line starts the program even from a folder whose name
    // has a blank: running it unregisters again.
    void regServer() {
        QTemporaryDir scratch;
        const QString folder = scratch.path() + "/Tessaro Programs";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(TESSARO_PROGRAM, folder + "/tessaro"));
        for (const QString& library : QDir(TESSARO_DIST).entryList({"*.so*"}, QDir::Files)) {
            QVERIFY(QFile::link(QString(TESSARO_DIST) + "/" + library, folder + "/" + library));
        }
        const QString data = scratch.path() + "/data";
        const QString entry = data + "/applications/tessaro.desktop";

        auto run = [&](const QString& program, const QString& option) {
            QProcess process;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("XDG_DATA_HOME", data);
            environment.remove("QT_QPA_PLATFORM");
            environment.remove("DISPLAY");
            environment.insert("ASAN_OPTIONS", "detect_leaks=0");
            process.setProcessEnvironment(environment);
            process.start(program, {option});
            return process.waitForFinished(kProcessTimeoutMs) && process.exitCode() == 0;
        };
        QVERIFY(run(folder + "/tessaro", "-regserver"));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString exec;
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
            if (line.startsWith("Exec=")) {
                exec = line.mid(5);
            }
        }
        file.close();
        const QStringList words = QProcess::splitCommand(exec);
        QVERIFY2(!words.isEmpty(), qPrintable(exec));
        QCOMPARE(words.front(), folder + "/tessaro");
        QVERIFY(run(words.front(), "/UnregServer"));
        QVERIFY(!QFile::exists(entry));
    }

    void treeItemsAndFirstSelection_data() {
        QTest::addColumn<int>("categories");
        QTest::addColumn<QString>("selected");
        QTest::newRow("five categories") << 5 << "Video";
        QTest::newRow("one category") << 1 << "Games";
        QTest::newRow("none") << 0 << "";
    }
    void treeItemsAndFirstSelection() {
        QFETCH(int, categories);
        QFETCH(QString, selected);
        TestHome home(categories);
        auto app = StartApp(home);
        QVERIFY(app);
        CWebSitesView& tree = *app->Frame()->Tree();
        QCOMPARE(tree.topLevelItemCount(), 1);
        QTreeWidgetItem* root = tree.topLevelItem(0);
        QCOMPARE(root->text(0), QString("All Sites"));
        QCOMPARE(root->childCount(), categories);
        QVERIFY(root->isExpanded());
        CCategoryNode& rootNode = *CWebSitesView::NodeOf(root);
        for (int i = 0; i < categories; ++i) {
            QTreeWidgetItem* item = root->child(i);
            QCOMPARE(CWebSitesView::NodeOf(item), rootNode.GetChild(static_cast<size_t>(i) + 1));
            QCOMPARE(static_cast<size_t>(item->childCount()),
                     CWebSitesView::NodeOf(item)->GetChildCount() - 1);
            QVERIFY(item->isExpanded());
        }
        if (selected.isEmpty()) {
            return;
        }
        QTRY_COMPARE(tree.currentItem() ? tree.currentItem()->text(0) : QString(), selected);
        QTRY_VERIFY(app->Frame()->DataView()->ShownNode() != nullptr &&
                    app->Frame()->DataView()->ShownNode()->m_strName == selected.toStdString());
        QVERIFY(app->Frame()->RecordCountText().contains("0 Record"));
    }

    void treeMenuFollowsTheSelection() {
        TestHome home;
        auto app = StartApp(home);
        QVERIFY(app);
        CMainFrame& frame = *app->Frame();
        struct Case {
            const char* node;
            bool refresh;
            bool clear;
        };
        for (const Case& c : {Case{nullptr, false, false}, Case{"All Sites", false, true},
                              Case{"Video", true, true}, Case{kAnimeLeaf, true, true}}) {
            Select(frame, c.node ? FindNode(frame, c.node) : nullptr);
            std::unique_ptr<QMenu> menu(frame.Tree()->CreateTreeMenu());
            QCOMPARE(MenuAction(menu.get(), texts::ID_REFRESH_DATA)->isEnabled(), c.refresh);
            QCOMPARE(MenuAction(menu.get(), texts::ID_CLEAR_DATA)->isEnabled(), c.clear);
            for (unsigned id : shell::DayDeleteItems()) {
                QVERIFY(MenuAction(menu.get(), id)->isEnabled());
            }
            QCOMPARE(MenuAction(menu.get(), 32908)->text(),
                     QString("Delete All Data in 10 Days lately"));
        }
    }

    // Only Yes deletes: rows and torrent files stay on No.
    void deleteAsksFirst_data() {
        QTest::addColumn<unsigned>("id");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<qint64>("rowsLeft");
        QTest::addColumn<bool>("fileLeft");
        QTest::newRow("before 1 day, No") << 32781U << false << qint64(5) << true;
        QTest::newRow("clear, No") << 32772U << false << qint64(5) << true;
        QTest::newRow("before 1 day, Yes") << 32781U << true << qint64(0) << false;
        QTest::newRow("clear, Yes") << 32772U << true << qint64(0) << false;
    }
    void deleteAsksFirst() {
        QFETCH(unsigned, id);
        QFETCH(bool, yes);
        TestHome home;
        home.AddRows(kAnimeLeaf, 5, 3);
        const std::string torrent = home.AddTorrentFile("old.torrent", 3);
        auto app = StartApp(home);
        QVERIFY(app);
        CMainFrame& frame = *app->Frame();
        Select(frame, FindNode(frame, kAnimeLeaf));
        frame.Tree()->RunCommand(id);
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = OpenTopLevel<QMessageBox>()) != nullptr);
        QCOMPARE(box->windowTitle(), QString("Warning"));
        QCOMPARE(box->text(), QString("Do you want to delete the data?"));
        box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        QTRY_VERIFY(OpenTopLevel<QMessageBox>() == nullptr);
        QTEST(static_cast<qint64>(home.Count(kAnimeLeaf)), "rowsLeft");
        QTEST(std::filesystem::exists(torrent), "fileLeft");
        if (yes) {
            QTRY_VERIFY(frame.RecordCountText().contains(" 0 Record"));
        }
    }

    // Closing while a refresh runs hides the window and ends once the
    // refresh is over; a second start meanwhile cancels the end.
    void closeDuringRefresh_data() {
        QTest::addColumn<bool>("secondStart");
        QTest::newRow("ends after the refresh") << false;
        QTest::newRow("second start cancels the end") << true;
    }
    void closeDuringRefresh() {
        QFETCH(bool, secondStart);
        TestHome home;
        auto app = StartApp(home);
        QVERIFY(app);
        CMainFrame& frame = *app->Frame();
        QSignalSpy ended(&frame, &CMainFrame::EndRequested);
        QVERIFY(frame.DataView()->Refresh(FindNode(frame, kAnimeLeaf)));
        frame.close();
        CNoticeDialog* notice = nullptr;
        QTRY_VERIFY((notice = OpenTopLevel<CNoticeDialog>()) != nullptr);
        QVERIFY(notice->windowTitle() == "Info Tip");
        notice->findChild<QCheckBox*>()->setChecked(true);
        notice->accept();
        QTRY_VERIFY(!frame.isVisible());
        QVERIFY(frame.IsEndPending());
        QCOMPARE(ended.count(), 0);
        QCOMPARE(home.Ini("NoAskAgain", "ExitwhenDowning"), std::string("1"));
        if (secondStart) {
            frame.ShowFromOtherInstance();
            QVERIFY(frame.isVisible());
            QVERIFY(!frame.IsEndPending());
            QTRY_VERIFY(!frame.DataView()->IsRefreshing());
            QCOMPARE(ended.count(), 0);
            return;
        }
        QTRY_COMPARE(ended.count(), 1);
        QVERIFY(!frame.DataView()->IsRefreshing());
    }

    void startupNoticeUntilTicked() {
        TestHome home;
        home.SetIni("NoAskAgain", "StartwhenAutoUpdateData", "0");
        {
            auto app = StartApp(home, {"hide"});
            QVERIFY(app);
            CNoticeDialog* notice = nullptr;
            QTRY_VERIFY((notice = OpenTopLevel<CNoticeDialog>()) != nullptr);
            QVERIFY(!notice->IsChecked());
            notice->findChild<QCheckBox*>()->setChecked(true);
            notice->findChild<QPushButton*>()->click();
        }
        QCOMPARE(home.Ini("NoAskAgain", "StartwhenAutoUpdateData"), std::string("1"));
    }

    // A background refresher holds the home: the window only shows.
    void viewerUnderHeldLock() {
        TestHome home;
        std::string error;
        auto lock = CRefreshLock::Acquire(home.Path(), error);
        QVERIFY2(lock, error.c_str());
        auto app = StartApp(home);
        QVERIFY(app);
        CMainFrame& frame = *app->Frame();
        QVERIFY(app->Context()->IsViewer());
        QVERIFY2(frame.StatusMessage().contains(QString::number(getpid())),
                 qPrintable(frame.StatusMessage()));
        CCategoryNode* leaf = FindNode(frame, kAnimeLeaf);
        Select(frame, leaf);
        QSignalSpy reloads(frame.DataView(), &CWebDataView::RecordCountChanged);
        home.AddRows(kAnimeLeaf, 2, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!reloads.isEmpty(), 10000);
        std::unique_ptr<QMenu> menu(frame.Tree()->CreateTreeMenu());
        for (unsigned id : {unsigned{texts::ID_REFRESH_DATA}, unsigned{texts::ID_CLEAR_DATA},
                            32781U, unsigned{texts::ID_DELETE_AFTER_DATE}}) {
            QVERIFY(!MenuAction(menu.get(), id)->isEnabled());
        }
        frame.Tree()->RunCommand(texts::ID_REFRESH_DATA);
        frame.Tree()->RunCommand(texts::ID_CLEAR_DATA);
        QVERIFY(!frame.DataView()->IsRefreshing());
        QVERIFY(OpenTopLevel<QMessageBox>() == nullptr);
    }
};

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    RulesTest rules;
    AppTest app;
    int status = QTest::qExec(&rules, argc, argv);
    status |= QTest::qExec(&app, argc, argv);
    return status;
}

#include "app_test.moc"
