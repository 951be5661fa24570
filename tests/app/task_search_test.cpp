// The download-task list and the search form offscreen, in the program's
// frame, against copies of the scripted task plug-in: slots and waiting,
// failures, deletes, the roads from the other lists, keyword history, and
// local rows before site rows.
#include <dlfcn.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "data_view.h"
#include "main_frame.h"
#include "search_view.h"
#include "task_plugin.h"
#include "task_view.h"
#include "test_home.h"
#include "torrent_table.h"

namespace {

// A search script of the task plug-in: batches of (Name, Addr0), one handed
// over per status poll.
using Batch = std::vector<std::pair<std::string, std::string>>;
std::string SearchScript(const std::vector<Batch>& batches) {
    std::string json = "{\"searchBatches\": [";
    for (size_t b = 0; b < batches.size(); ++b) {
        json += b == 0 ? "[" : ", [";
        for (size_t r = 0; r < batches[b].size(); ++r) {
            json += std::string(r == 0 ? "" : ", ") + "{\"Name\": \"" + batches[b][r].first +
                    "\", \"Addr0\": \"" + batches[b][r].second + "\"}";
        }
        json += "]";
    }
    return json + "]}";
}

// The program on a home whose plug-ins are copies of the task plug-in,
// each given its search batches.
struct TaskApp {
    explicit TaskApp(const std::vector<std::string>& searchScripts = {SearchScript({})},
                     int nMaxTasks = 2) {
        std::string dll = "[DLL]\ncount=" + std::to_string(searchScripts.size()) + "\n";
        for (size_t i = 0; i < searchScripts.size(); ++i) {
            const std::string name = "p" + std::to_string(i) + ".so";
            dll += std::to_string(i) + "=" + name + "\n";
            std::filesystem::copy_file(TASK_PLUGIN_PATH, home.Path() + "kernel/" + name);
            std::ofstream(home.Path() + "kernel/" + name + ".json") << searchScripts[i];
        }
        std::ofstream(home.Path() + "kernel/dllmgr.ini", std::ios::trunc) << dll;
        home.SetIni("SysCfg", "MaxDownTasks", std::to_string(nMaxTasks));
    }
    bool Start() {
        app = StartApp(home);
        return app != nullptr;
    }
    CWebTaskView& Tasks() { return *app->Frame()->TaskView(); }
    CWebSearchView& Search() { return *app->Frame()->SearchView(); }
    CWebDataView& Data() { return *app->Frame()->DataView(); }
    CDownloadTasks& Core() { return app->Context()->Tasks(); }
    std::vector<CCategoryNode*> Leaves() { return app->Context()->Config().GetRoot().GetLeaves(); }
    TaskPluginScript* Script(int nPlugin) {
        void* module = dlopen((home.Path() + "kernel/p" + std::to_string(nPlugin) + ".so").c_str(),
                              RTLD_NOW | RTLD_NOLOAD);
        if (module == nullptr) {
            return nullptr;
        }
        auto* script =
            reinterpret_cast<PFN_TaskPluginControl>(dlsym(module, "TaskPluginControl"))();
        dlclose(module);
        return script;
    }

    TestHome home;
    std::unique_ptr<CTessaroApp> app;
};

TorrentRecord Entry(const std::string& name, const std::string& addr0) {
    TorrentRecord record;
    record.Name = name;
    record.Addr0 = addr0;
    record.AddDate = record.RefreshDate = OleDate::FromUnixTime(std::time(nullptr));
    record.Seeds = record.Peers = -1;
    return record;
}

void AddEntries(TestHome& home, const std::string& table, const TorrentRecordArray& records) {
    CTorrentTable::SetDatabasePath(home.Path() + "kernel/websdata.db");
    CTorrentTable leaf;
    leaf.SetTableName(table);
    QVERIFY(leaf.InsertBatch(records));
}

// What the list shows of each row: "image percent name".
QStringList Rows(CDataListModel& model) {
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        rows << QString("%1 %2 %3")
                    .arg(model.RowImage(row))
                    .arg(model.data(model.index(row, CDataListModel::kPercent)).toString())
                    .arg(model.data(model.index(row, CDataListModel::kName)).toString());
    }
    return rows;
}

QStringList Names(CDataListModel& model) {
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row) {
        names << model.data(model.index(row, CDataListModel::kName)).toString();
    }
    return names;
}

QStringList History(CWebSearchView& search) {
    QStringList items;
    for (int i = 0; i < search.KeywordBox()->count(); ++i) {
        items << search.KeywordBox()->itemText(i);
    }
    return items;
}

void SelectRows(CDataListCtrl& list, std::initializer_list<int> rows) {
    list.clearSelection();
    for (int row : rows) {
        list.selectionModel()->select(list.model()->index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

// Closes the open message boxes; answers their texts.
QStringList CloseMessageBoxes() {
    QStringList texts;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
            texts << box->text();
            box->close();
        }
    }
    return texts;
}

// Enter on the keyword, then the site search to its end.
void Search(CWebSearchView& search, const QString& keyword) {
    search.KeywordBox()->setEditText(keyword);
    QTest::keyClick(search.KeywordBox()->lineEdit(), Qt::Key_Return);
    for (int tick = 0; tick < 100 && search.IsSearching(); ++tick) {
        search.Poll();
    }
}

}  // namespace

class TaskSearchTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void taskMenuRules_data() {
        QTest::addColumn<QString>("selection");  // per task: state, auto-open, file
        QTest::addColumn<QString>("menu");       // open start stop checked page delete
        QTest::newRow("nothing") << ""
                                 << "000000";
        QTest::newRow("one running") << "0--"
                                     << "001011";
        QTest::newRow("one done with file") << "100-f"
                                            << "110011";
        QTest::newRow("failed and waiting, both auto") << "255a- 102a-"
                                                       << "010101";
        QTest::newRow("stopped and auto") << "101-- 5a-"
                                          << "011001";
    }
    void taskMenuRules() {
        QFETCH(QString, selection);
        QFETCH(QString, menu);
        std::vector<SelectedTask> tasks;
        for (const QString& task : selection.split(' ', Qt::SkipEmptyParts)) {
            const QString state = task.left(task.size() - 2);
            tasks.push_back({static_cast<uint8_t>(state.toInt()), task.at(task.size() - 2) == 'a',
                             task.endsWith('f')});
        }
        const TaskMenuState state = TaskMenuRules(tasks);
        QString answer;
        for (bool bOn : {state.bOpen, state.bStart, state.bStop, state.bAutoOpenChecked,
                         state.bViewPage, state.bDelete}) {
            answer += bOn ? '1' : '0';
        }
        QCOMPARE(answer, menu);
    }

    // Two slots, three tasks: one waits and starts when a slot frees; the
    // same entry again only selects its task; a failed task restarts; a
    // deleted running task lets go of its lock.
    void slotsFailuresAndDeletes() {
        TaskApp run;
        QVERIFY(run.Start());
        CWebTaskView& tasks = run.Tasks();
        CDataListModel& model = tasks.Model();
        run.Data().SetTab(CWebDataView::kTabTorrents);
        tasks.AddTask(Entry("first", "polls:1"), false);
        QCOMPARE(run.Data().CurrentTab(), int(CWebDataView::kTabTasks));
        tasks.AddTask(Entry("second", "polls:1000#b"), false);
        tasks.AddTask(Entry("third", "polls:1000#c"), true);
        QCOMPARE(Rows(model), QStringList({"2 0% first", "2 0% second", "4 0% third"}));
        tasks.AddTask(Entry("second again", "polls:1000#b"), false);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(tasks.SelectedRows(), std::vector<int>{1});

        tasks.Poll();
        QCOMPARE(Rows(model), QStringList({"2 50% first", "2 50% second", "4 0% third"}));
        tasks.Poll();
        QCOMPARE(Rows(model), QStringList({"3 100% first", "2 50% second", "2 0% third"}));

        // A file gone from the folder: the open explains, the task stays.
        std::filesystem::remove(run.home.Path() + "torrents/first.torrent");
        SelectRows(tasks, {0});
        tasks.RunTaskCommand(texts::ID_TASK_OPEN_TORRENT);
        QCOMPARE(CloseMessageBoxes(),
                 QStringList({"Can not open torrent file! Perhaps it doesn't exist."}));
        QCOMPARE(Rows(model).first(), QString("3 100% first"));

        const std::string lock = run.home.Path() + "torrents/second.tmp";
        QVERIFY(std::filesystem::exists(lock));
        SelectRows(tasks, {1});
        tasks.RunTaskCommand(texts::ID_DELETE_TASK);
        QVERIFY(!std::filesystem::exists(lock));
        QCOMPARE(Names(model), QStringList({"first", "third"}));
        QCOMPARE(run.Core().GetRunningCount(), 1);

        tasks.AddTask(Entry("broken", "polls:0:fail"), false);
        tasks.Poll();
        QCOMPARE(Rows(model).last(), QString("1 0% broken"));
        std::unique_ptr<QMenu> menu(tasks.CreateTaskMenu());
        QVERIFY(menu->actions().at(1)->isEnabled());
        tasks.RunTaskCommand(texts::ID_START_DOWNLOAD);
        QCOMPARE(Rows(model).last(), QString("2 0% broken"));
        // A double click stops a running task.
        tasks.ActivateTask(2);
        QCOMPARE(Rows(model).last(), QString("0 0% broken"));
    }

    // A header click sorts the task table itself: row i stays task i.
    void headerSortsTheTaskTable() {
        TaskApp run;
        QVERIFY(run.Start());
        CWebTaskView& tasks = run.Tasks();
        for (const char* name : {"mango", "apple", "kiwi"}) {
            tasks.AddTask(Entry(name, std::string("refused ") + name), false);
        }
        QHeaderView* header = tasks.header();
        const QStringList expected[] = {{"apple", "kiwi", "mango"}, {"mango", "kiwi", "apple"}};
        for (const QStringList& names : expected) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(CDataListModel::kName) + 5,
                                     header->height() / 2));
            QCOMPARE(Names(tasks.Model()), names);
            for (int row = 0; row < 3; ++row) {
                QCOMPARE(QString::fromStdString(run.Core().GetTask(size_t(row)).Name), names[row]);
                QCOMPARE(tasks.Model().data(tasks.Model().index(row, 0)).toString(),
                         QString::number(row));
            }
        }
    }

    // The torrent list's and the search list's downloads reach the task
    // list; the fetched file shows in both lists.
    void downloadsFromTheOtherLists() {
        TaskApp run({SearchScript({{{"site kw", "polls:5"}}})});
        AddEntries(run.home, "anime_animation", {Entry("local kw", "polls:0#local")});
        QVERIFY(run.Start());
        CWebDataView& data = run.Data();
        for (CCategoryNode* leaf : run.Leaves()) {
            if (leaf->m_strTableName == "anime_animation") {
                data.SelectNode(leaf);
            }
        }
        QCOMPARE(data.TorrentModel().rowCount(), 1);
        CWebSearchView& search = run.Search();
        Search(search, "kw");
        QCOMPARE(Names(search.ResultModel()).join("|"), QString("local kw|site kw"));

        SelectRows(*data.TorrentList(), {0});
        data.RunListCommand(texts::ID_DOWNLOAD_TORRENT);
        SelectRows(*search.ResultList(), {0, 1});
        search.RunResultCommand(texts::ID_DOWNLOAD_AND_OPEN);
        QCOMPARE(Names(run.Tasks().Model()), QStringList({"local kw", "site kw"}));
        QCOMPARE(run.Core().GetTask(0).Reserved, 0);
        QCOMPARE(run.Core().GetTask(1).Reserved, 1);
        QCOMPARE(data.CurrentTab(), int(CWebDataView::kTabTasks));

        run.Tasks().Poll();
        QCOMPARE(Rows(data.TorrentModel()), QStringList({"3 100% local kw"}));
        QCOMPARE(Rows(search.ResultModel()), QStringList({"3 100% local kw", "0 0% site kw"}));
        // The result rows can go, one or all.
        SelectRows(*search.ResultList(), {0});
        search.RunResultCommand(texts::ID_DELETE_ROWS);
        QCOMPARE(Names(search.ResultModel()), QStringList({"site kw"}));
        QCOMPARE(search.ResultModel().data(search.ResultModel().index(0, 0)).toString(),
                 QString("0"));
        search.RunResultCommand(texts::ID_DELETE_ALL_ROWS);
        QCOMPARE(search.ResultModel().rowCount(), 0);
    }

    // Local rows come at once in tree order, the sites' rows after them;
    // Enter stops a search and keeps its rows.
    void searchRowsAndStop() {
        TaskApp run({SearchScript({{{"kw s1", "s1"}}, {{"kw s2", "s2"}}, {}, {}, {}})});
        QVERIFY(run.Start());
        const std::vector<CCategoryNode*> leaves = run.Leaves();
        QVERIFY(leaves.size() >= 3);
        AddEntries(run.home, leaves[2]->m_strTableName, {Entry("kw third leaf", "x3")});
        AddEntries(run.home, leaves[0]->m_strTableName,
                   {Entry("kw first leaf", "x1"), Entry("other", "x0")});
        CWebSearchView& search = run.Search();
        search.KeywordBox()->setEditText("KW");
        search.StartOrStop();
        QVERIFY(search.IsSearching());
        QCOMPARE(search.StartButton()->text(), QString("StopSearch"));
        QCOMPARE(Names(search.ResultModel()), QStringList({"kw first leaf", "kw third leaf"}));
        search.Poll();
        search.Poll();
        QVERIFY(search.Progress() > 0 && search.Progress() < 100);
        QTest::keyClick(search.KeywordBox()->lineEdit(), Qt::Key_Return);
        QVERIFY(!search.IsSearching());
        QCOMPARE(search.StartButton()->text(), QString("StartSearch"));
        QCOMPARE(Names(search.ResultModel()),
                 QStringList({"kw first leaf", "kw third leaf", "kw s1", "kw s2"}));
        QCOMPARE(run.Script(0)->calls.back(), std::string("StopSearch"));
    }

    // Blanks warn and change nothing; a keyword moves to the top, replacing
    // one that differs in case; 60 keywords keep 50.
    void keywordHistory() {
        TaskApp run;
        QVERIFY(run.Start());
        CWebSearchView& search = run.Search();
        for (const char* keyword : {"alpha", "beta", "gamma"}) {
            Search(search, keyword);
        }
        QCOMPARE(History(search), QStringList({"gamma", "beta", "alpha"}));
        Search(search, "   ");
        QCOMPARE(CloseMessageBoxes().join("|"), QString("Please input keyword"));
        QCOMPARE(search.ResultModel().rowCount(), 0);
        QCOMPARE(History(search), QStringList({"gamma", "beta", "alpha"}));
        Search(search, "ALPHA");
        QCOMPARE(History(search), QStringList({"ALPHA", "gamma", "beta"}));

        for (int i = 0; i < 60; ++i) {
            Search(search, QString("k%1").arg(i));
        }
        QCOMPARE(search.KeywordBox()->count(), 50);
        run.app.reset();
        QCOMPARE(run.home.Ini("SEARCHLIST", "count"), std::string("50"));
        QCOMPARE(run.home.Ini("SEARCHLIST", "0"), std::string("k59"));
        QCOMPARE(run.home.Ini("SEARCHLIST", "49"), std::string("k10"));
    }

    // Pictures of both tabs with rows, for the documentation: only when
    // asked for, into $TESSARO_SCREENSHOT_DIR, in the language of the run.
    void screenshots() {
        const QString dir = qEnvironmentVariable("TESSARO_SCREENSHOT_DIR");
        if (dir.isEmpty()) {
            QSKIP("no TESSARO_SCREENSHOT_DIR");
        }
        const bool bChinese = texts::GetLanguage() == texts::Language::kChinese;
        const std::string word = bChinese ? "样例" : "sample";
        Batch batch;
        for (int i = 1; i <= 6; ++i) {
            batch.emplace_back(
                "[site] " + word + (bChinese ? " 站点结果 " : " site result ") + std::to_string(i),
                "polls:3#s" + std::to_string(i));
        }
        TaskApp run({SearchScript({batch})});
        TorrentRecordArray local;
        for (int i = 1; i <= 5; ++i) {
            local.push_back(Entry(
                "[" + word + "] " + (bChinese ? "本地条目 " : "local entry ") + std::to_string(i),
                "polls:0#l" + std::to_string(i)));
            local.back().Size = std::to_string(100 * i) + ".5MB";
            local.back().Seeds = 10 * i;
            local.back().Peers = 3 * i;
        }
        AddEntries(run.home, "anime_animation", local);
        QVERIFY(run.Start());
        CWebTaskView& tasks = run.Tasks();
        const char* addresses[] = {"polls:0#a",    "polls:1000#b", "polls:0:fail",
                                   "polls:1000#d", "polls:1000#e", "refuse"};
        for (size_t i = 0; i < std::size(addresses); ++i) {
            TorrentRecord entry = local[i % local.size()];
            entry.Name = "[" + word + "] " + (bChinese ? "下载任务 " : "download task ") +
                         std::to_string(i + 1);
            entry.Addr0 = addresses[i];
            tasks.AddTask(entry, false);
            if (i == 2) {
                tasks.Poll();
            }
        }
        tasks.Poll();
        run.app->Frame()->resize(1100, 640);
        QVERIFY(
            run.app->Frame()->grab().save(dir + (bChinese ? "/tasks_zh.png" : "/tasks_en.png")));
        CWebSearchView& search = run.Search();
        Search(search, QString::fromStdString(word));
        run.Data().SetTab(CWebDataView::kTabSearch);
        QVERIFY(
            run.app->Frame()->grab().save(dir + (bChinese ? "/search_zh.png" : "/search_en.png")));
    }
};

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TaskSearchTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "task_search_test.moc"
