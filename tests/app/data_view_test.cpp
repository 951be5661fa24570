// The data view offscreen: the list base on its own, then the view in the
// program's frame on a test home: paging, the category merge, sorting
// across pages, and a refresh against a fixture site.
#include <dlfcn.h>
#include <sqlite3.h>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "data_view.h"
#include "list_test.h"
#include "list_view.h"
#include "main_frame.h"
#include "notice_dialog.h"
#include "scripted_plugin.h"
#include "test_home.h"

#ifdef WREN_PLUGIN_PATH
#include "fixture_server.h"
#include "wren_pages.h"
#endif

namespace {

CCategoryNode* Leaf(CAppContext& context, const std::string& table) {
    for (CCategoryNode* leaf : context.Config().GetRoot().GetLeaves()) {
        if (leaf->m_strTableName == table) {
            return leaf;
        }
    }
    return nullptr;
}

QStringList Names(CDataListModel& model) {
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row) {
        names << QString::fromStdString(model.Record(row).Name);
    }
    return names;
}

QString Range(CDataListModel& model) {
    if (model.rowCount() == 0) {
        return "empty";
    }
    return QString("%1..%2 (%3)")
        .arg(QString::fromStdString(model.Record(0).Name))
        .arg(QString::fromStdString(model.Record(model.rowCount() - 1).Name))
        .arg(model.rowCount());
}

QString Buttons(CWebDataView& view) {
    QString flags;
    for (auto button : {CWebDataView::kFirstPage, CWebDataView::kPrevPage, CWebDataView::kNextPage,
                        CWebDataView::kLastPage}) {
        flags += view.IsPageButtonEnabled(button) ? '1' : '0';
    }
    return flags;
}

// The program on the home, once the tree's own first selection (a category:
// the root may come first, when the tree takes the focus) is shown.
std::unique_ptr<CTessaroApp> StartSettled(const TestHome& home) {
    auto app = StartApp(home);
    if (app && !QTest::qWaitFor([&] {
            const CCategoryNode* shown = app->Frame()->DataView()->ShownNode();
            return shown != nullptr && shown->IsCategory();
        })) {
        app.reset();
    }
    return app;
}

template <typename T>
T* OpenTopLevel() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(widget); found != nullptr && found->isVisible()) {
            return found;
        }
    }
    return nullptr;
}

}  // namespace

class DataViewTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // 250 rows page as 1-100, 101-200, 201-250; back and to the end; a
    // sort by Name holds across pages; the root is empty.
    void pagingThroughTheButtons() {
        TestHome home;
        home.SetIni("SysCfg", "DefaultList", "2");
        home.AddRows("anime_animation", 250, 0);
        auto app = StartSettled(home);
        QVERIFY(app);
        CWebDataView& view = *app->Frame()->DataView();
        CCategoryNode* leaf = Leaf(*app->Context(), "anime_animation");
        QCOMPARE(view.CurrentTab(), int(CWebDataView::kTabSearch));
        view.SetTab(CWebDataView::kTabTasks);
        view.SelectNode(leaf);
        QCOMPARE(view.CurrentTab(), int(CWebDataView::kTabTorrents));
        QCOMPARE(app->Frame()->RecordCountText(), QString(" 250 Record in this folder"));
        CDataListModel& model = view.TorrentModel();
        struct Step {
            int button;  // -1: none
            const char* range;
            const char* buttons;  // First, Prev, Next, Last enabled
        };
        for (const Step& step : {Step{-1, "row 0..row 99 (100)", "0011"},
                                 Step{CWebDataView::kNextPage, "row 100..row 199 (100)", "1111"},
                                 Step{CWebDataView::kNextPage, "row 200..row 249 (50)", "1100"},
                                 Step{CWebDataView::kPrevPage, "row 100..row 199 (100)", "1111"},
                                 Step{CWebDataView::kLastPage, "row 150..row 249 (100)", "1100"},
                                 Step{CWebDataView::kPrevPage, "row 50..row 149 (100)", "1111"},
                                 Step{CWebDataView::kFirstPage, "row 0..row 99 (100)", "0011"}}) {
            if (step.button >= 0) {
                view.ClickPageButton(static_cast<CWebDataView::PageButton>(step.button));
            }
            QCOMPARE(Range(model), QString(step.range));
            QCOMPARE(Buttons(view), QString(step.buttons));
            QCOMPARE(model.data(model.index(0, CDataListModel::kIndex)).toString(), QString("0"));
        }
        // Today's colour from the configuration, on Name only.
        const uint32_t today = app->Context()->Config().Settings().crDataColor[0];
        QCOMPARE(model.data(model.index(0, CDataListModel::kName), Qt::ForegroundRole)
                     .value<QBrush>()
                     .color(),
                 QColor(today & 0xFF, (today >> 8) & 0xFF, (today >> 16) & 0xFF));

        QHeaderView* header = view.TorrentList()->header();
        for (int click = 0; click < 2; ++click) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(CDataListModel::kName) + 5,
                                     header->height() / 2));
        }
        view.ClickPageButton(CWebDataView::kNextPage);
        const QStringList names = Names(model);
        QVERIFY(names.contains("row 100") && names.contains("row 199"));
        QVERIFY(std::is_sorted(names.begin(), names.end(), std::greater<>()));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);

        view.SelectNode(&app->Context()->Config().GetRoot());
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(Buttons(view), QString("0000"));
        QVERIFY(!view.IsRefreshButtonEnabled());
        QCOMPARE(app->Frame()->RecordCountText(), QString(" 250 Record in this folder"));
    }

    // A category merges its leaves newest first; equal dates keep the leaf
    // order; the second page goes on where the first stopped.
    void categoryMerge() {
        TestHome home;
        const std::vector<std::string> leaves = {"video_films", "video_series", "video_variety"};
        home.AddDatedRows(leaves[0], {{"a0", 0}, {"a2", 2}, {"a4", 4}});
        home.AddDatedRows(leaves[1], {{"b1", 1}, {"b2", 2}});
        home.AddDatedRows(leaves[2], {{"c2", 2}, {"c3", 3}});
        for (size_t k = 0; k < leaves.size(); ++k) {
            std::vector<std::pair<std::string, int64_t>> rows;
            for (int i = 0; i < 60; ++i) {
                const int64_t ago = 100 + 3 * i + static_cast<int64_t>(k);
                rows.emplace_back("t" + std::to_string(ago), ago);
            }
            home.AddDatedRows(leaves[k], rows);
        }
        auto app = StartSettled(home);
        QVERIFY(app);
        CWebDataView& view = *app->Frame()->DataView();
        CCategoryNode& root = app->Context()->Config().GetRoot();
        view.SelectNode(root.GetChild(2));
        CDataListModel& model = view.TorrentModel();
        QCOMPARE(Names(model).mid(0, 8).join(' '), QString("a0 b1 a2 b2 c2 c3 a4 t100"));
        QCOMPARE(model.rowCount(), 100);
        QStringList all = Names(model);
        view.ClickPageButton(CWebDataView::kNextPage);
        QCOMPARE(model.rowCount(), 87);
        QCOMPARE(Buttons(view), QString("1100"));
        all += Names(model);
        QCOMPARE(all.last(), QString("t279"));
        QCOMPARE(static_cast<int>(std::set<QString>(all.begin(), all.end()).size()), 187);
        QCOMPARE(app->Frame()->RecordCountText(), QString(" 187 Record in this folder"));
    }

    // The list's menu: the download items queue the rows without a file.
    void listMenu() {
        TestHome home;
        home.AddRows("anime_animation", 3, 0);
        auto app = StartSettled(home);
        QVERIFY(app);
        CWebDataView& view = *app->Frame()->DataView();
        view.SelectNode(Leaf(*app->Context(), "anime_animation"));
        CDataListCtrl& list = *view.TorrentList();
        list.selectAll();
        std::unique_ptr<QMenu> menu(view.CreateListMenu());
        QStringList enabled;
        for (QAction* action : menu->actions()) {
            enabled << (action->isEnabled() ? "on" : "off");
        }
        QCOMPARE(enabled.join(' '), QString("on on off off"));
        view.RunListCommand(texts::ID_DOWNLOAD_TORRENT);
        CDownloadTasks& tasks = app->Context()->Tasks();
        QCOMPARE(tasks.GetCount(), size_t(3));
        QCOMPARE(tasks.GetTask(0).Reserved, 0);
        // The fetched file shows in the row with the task's Addr0.
        TorrentRecord fetched = tasks.GetTask(1);
        fetched.bCompleted = 100;
        fetched.FileName = "fetched";
        view.RecordFetched(fetched);
        const int row = Names(view.TorrentModel()).indexOf(QString::fromStdString(fetched.Name));
        QCOMPARE(view.TorrentModel()
                     .data(view.TorrentModel().index(row, CDataListModel::kPercent))
                     .toString(),
                 QString("100%"));
    }

    // A leaf whose rows cannot be stored ends with one sentence in the status
    // bar and its icon back to a plain leaf.
    void refreshThatCannotStore() {
        TestHome home;
        std::filesystem::copy_file(SCRIPTED_PLUGIN_PATH, home.Path() + "kernel/scripted.so");
        std::ofstream(home.Path() + "kernel/dllmgr.ini", std::ios::trunc)
            << "[DLL]\ncount=1\n0=scripted.so\n";
        auto app = StartSettled(home);
        QVERIFY(app);
        CWebDataView& view = *app->Frame()->DataView();
        CCategoryNode* leaf = Leaf(*app->Context(), "anime_comics");
        view.SelectNode(leaf);
        QVERIFY(view.Refresh(leaf));
        void* module = dlopen((home.Path() + "kernel/scripted.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
        QVERIFY(module != nullptr);
        PluginScript& script =
            *reinterpret_cast<PFN_ScriptedPluginControl>(dlsym(module, "ScriptedPluginControl"))();
        dlclose(module);
        const size_t slot = leaf->m_nCategoryId * 8U + leaf->m_nSubIndex;
        script.pageRows[slot].resize(1);
        script.pageRows[slot][0].Name = "lost";
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open((home.Path() + "kernel/websdata.db").c_str(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "DROP TABLE anime_comics", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        QTRY_VERIFY(!view.IsRefreshing());
        const QString message = app->Frame()->StatusMessage();
        QVERIFY2(message.startsWith("Comics: the rows of this refresh were not stored ("),
                 qPrintable(message));
        QCOMPARE(CRefreshEngine::GetNodeIcon(*leaf), CRefreshEngine::kIconItem);
        QVERIFY(view.IsRefreshButtonEnabled());
    }

#ifdef WREN_PLUGIN_PATH
    // "RefreshData" asks first; the refresh shows its progress and reloads
    // the list once when the leaf completes.
    void refreshReloadsOnce() {
        testing_support::FixtureServer server;
        TestHome home;
        std::filesystem::copy_file(WREN_PLUGIN_PATH, home.Path() + "kernel/wren.so");
        std::ofstream(home.Path() + "kernel/dllmgr.ini", std::ios::trunc)
            << "[DLL]\ncount=1\n0=wren.so\n[Site_wren.so]\nBase=" << server.Url("/")
            << "\nCharset=GBK\n";
        std::vector<wren_pages::Row> rows;
        for (int id = 1; id <= 3; ++id) {
            rows.push_back({6, 14, 10, id, "entry " + std::to_string(id), "", "1MB", 1, 1, id});
        }
        for (int page : {1, 2}) {
            testing_support::FixtureReply reply;
            reply.body = wren_pages::Page(server.Url("/"),
                                          page == 1 ? rows : std::vector<wren_pages::Row>{});
            server.Route(
                "/index.php?cateId=1&page=" + std::to_string(page) + "&order=default&by=DESC",
                reply);
        }
        home.SetIni("NoAskAgain", "RefreshData", "0");
        auto app = StartSettled(home);
        QVERIFY(app);
        CWebDataView& view = *app->Frame()->DataView();
        view.SelectNode(Leaf(*app->Context(), "anime_animation"));
        QSignalSpy reloads(&view, &CWebDataView::NodeShown);
        QVERIFY(view.IsRefreshButtonEnabled());
        view.RefreshShownNode();
        CNoticeDialog* notice = nullptr;
        QTRY_VERIFY((notice = OpenTopLevel<CNoticeDialog>()) != nullptr);
        notice->findChild<QCheckBox*>()->setChecked(true);
        notice->accept();
        QTRY_VERIFY(view.ProgressText().startsWith("Updating..."));
        QVERIFY(!view.IsRefreshButtonEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!view.IsRefreshing(), 20000);
        QCOMPARE(reloads.count(), 1);
        QCOMPARE(view.TorrentModel().rowCount(), 3);
        QCOMPARE(view.ProgressText(), QString());
        QVERIFY(view.IsRefreshButtonEnabled());
        QCOMPARE(app->Context()->Config().Settings().bNoAskRefreshData, 1);
        QCOMPARE(app->Frame()->RecordCountText(), QString(" 3 Record in this folder"));
    }
#endif
};

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ListTest list;
    DataViewTest view;
    int status = QTest::qExec(&list, argc, argv);
    status |= QTest::qExec(&view, argc, argv);
    return status;
}

#include "data_view_test.moc"
