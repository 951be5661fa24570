// The list base offscreen: cell texts, the Name column's day colours, header
// sorting, the fetched-file update, the menu rules and the tip watch.
#include "list_test.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <ctime>

#include "list_model.h"
#include "list_view.h"

namespace {

// 2026-03-10 12:00:00 in the tests' zone (Asia/Shanghai).
constexpr int64_t kNoon = 1773115200;

TorrentRecord Entry(const std::string& name, int64_t secondsBeforeNoon, int32_t seeds = 1) {
    TorrentRecord record;
    record.Name = name;
    record.Addr0 = "addr/" + name;
    record.AddDate = OleDate::FromUnixTime(static_cast<time_t>(kNoon - secondsBeforeNoon));
    record.RefreshDate = record.AddDate;
    record.Size = "1 MB";
    record.Seeds = seeds;
    record.Peers = -1;
    return record;
}

QString Cell(const CDataListModel& model, int row, int column, int role = Qt::DisplayRole) {
    return model.data(model.index(row, column), role).toString();
}

QStringList Names(const CDataListModel& model) {
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row) {
        names << Cell(model, row, CDataListModel::kName);
    }
    return names;
}

void ClickHeader(CDataListCtrl& list, int column) {
    QHeaderView* header = list.header();
    const QPoint at(header->sectionViewportPosition(column) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

void ListTest::cellTexts() {
    CDataListModel model([](const TorrentRecord& r) { return r.FileName == "here"; });
    TorrentRecord fetched = Entry("b", 0, -1);
    fetched.FileName = "here";
    model.SetRecords({Entry("a", 3600, 7), fetched});
    struct Case {
        int row;
        int column;
        const char* text;
    };
    for (const Case& c :
         {Case{0, CDataListModel::kIndex, "0"}, Case{1, CDataListModel::kIndex, "1"},
          Case{0, CDataListModel::kAddDate, "03-10 11:00:00"},
          Case{0, CDataListModel::kRefreshDate, "03-10 11:00:00"},
          Case{0, CDataListModel::kPercent, "0%"}, Case{1, CDataListModel::kPercent, "100%"},
          Case{0, CDataListModel::kSeeds, "7"}, Case{1, CDataListModel::kSeeds, ""},
          Case{0, CDataListModel::kPeers, ""}, Case{0, CDataListModel::kSize, "1 MB"}}) {
        QCOMPARE(Cell(model, c.row, c.column), QString(c.text));
    }
    QCOMPARE(model.RowImage(0), int(CDataListModel::kImageEntry));
    QCOMPARE(model.RowImage(1), int(CDataListModel::kImageFetched));
    QCOMPARE(model.headerData(CDataListModel::kName, Qt::Horizontal).toString(),
             QString("Name(Double click to download torrent file)"));
}

// Only Name is coloured; the day ends at 23:59:59, so a row of yesterday
// 23:59 is yesterday's and one dated after tomorrow is "other".
void ListTest::dayColours() {
    CDataListModel model(nullptr);
    model.SetClock([] { return kNoon; });
    const std::array<uint32_t, 5> colours = {0x0000FF, 0x00FF00, 0xFF0000, 0x808080, 0};
    model.SetDayColours(colours);
    const int64_t noonToMidnight = 12 * 3600;
    model.SetRecords({Entry("today", 11 * 3600), Entry("late yesterday", noonToMidnight + 60),
                      Entry("two days", noonToMidnight + 86400 + 60), Entry("old", 10 * 86400),
                      Entry("in two days", -noonToMidnight - 86400 - 60)});
    const QList<QColor> expected = {Qt::red, Qt::green, Qt::blue, QColor(0x80, 0x80, 0x80),
                                    QColor(0x80, 0x80, 0x80)};
    for (int row = 0; row < model.rowCount(); ++row) {
        const QVariant name =
            model.data(model.index(row, CDataListModel::kName), Qt::ForegroundRole);
        QCOMPARE(name.value<QBrush>().color(), expected[row]);
        for (int column : {int(CDataListModel::kIndex), int(CDataListModel::kAddDate),
                           int(CDataListModel::kSize)}) {
            QVERIFY(!model.data(model.index(row, column), Qt::ForegroundRole).isValid());
        }
    }
}

// Header clicks: Index does nothing, a column sorts ascending, then toggles;
// a new page is sorted the same way; the selection follows its row.
void ListTest::headerSorting() {
    CDataListModel model(nullptr);
    CDataListCtrl list;
    list.SetListModel(&model);
    list.resize(900, 400);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    model.SetRecords({Entry("b", 0, 5), Entry("c", 1, 9), Entry("a", 2, 1)});
    list.selectionModel()->select(model.index(0, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    struct Step {
        int column;
        const char* names;
        Qt::SortOrder order;
    };
    for (const Step& step : {Step{CDataListModel::kIndex, "b c a", Qt::AscendingOrder},
                             Step{CDataListModel::kName, "a b c", Qt::AscendingOrder},
                             Step{CDataListModel::kName, "c b a", Qt::DescendingOrder},
                             Step{CDataListModel::kName, "a b c", Qt::AscendingOrder},
                             Step{CDataListModel::kSeeds, "a b c", Qt::AscendingOrder},
                             Step{CDataListModel::kSeeds, "c b a", Qt::DescendingOrder}}) {
        ClickHeader(list, step.column);
        QCOMPARE(Names(model).join(' '), QString(step.names));
        if (step.column != CDataListModel::kIndex) {
            QCOMPARE(list.header()->sortIndicatorSection(), step.column);
            QCOMPARE(list.header()->sortIndicatorOrder(), step.order);
        }
        QCOMPARE(list.SelectedRows(), std::vector<int>{int(Names(model).indexOf("b"))});
    }
    // Index keeps the row's place on its page.
    QCOMPARE(Cell(model, 0, CDataListModel::kIndex), QString("1"));
    model.SetRecords({Entry("x", 0, 1), Entry("z", 1, 3), Entry("y", 2, 2)});
    QCOMPARE(Names(model).join(' '), QString("z y x"));
}

void ListTest::markFetched() {
    CDataListModel model(nullptr);
    TorrentRecord twin = Entry("twin", 5);
    twin.Addr0 = "addr/a";
    model.SetRecords({Entry("a", 0), twin, Entry("b", 1)});
    TorrentRecord fetched = Entry("a", 0);
    fetched.bCompleted = 100;
    fetched.FileName = "a 1";
    QCOMPARE(model.MarkFetched(fetched), 0);
    QCOMPARE(model.Record(0).FileName, std::string("a 1"));
    QCOMPARE(model.Record(0).bCompleted, 100);
    QCOMPARE(Cell(model, 0, CDataListModel::kPercent), QString("100%"));
    QCOMPARE(model.RowImage(0), int(CDataListModel::kImageFetched));
    QCOMPARE(model.RowImage(1), int(CDataListModel::kImageEntry));
    fetched.Addr0 = "nowhere";
    QCOMPARE(model.MarkFetched(fetched), -1);
}

void ListTest::menuRules_data() {
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<bool>("download");
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("viewPage");
    QTest::newRow("none") << 0 << false << false << false << false;
    QTest::newRow("one without file") << 1 << false << true << false << true;
    QTest::newRow("one with file") << 1 << true << true << true << true;
    QTest::newRow("two") << 2 << true << true << false << false;
}

void ListTest::menuRules() {
    QFETCH(int, selected);
    QFETCH(bool, hasFile);
    const DataListMenuState state = DataListMenuRules(static_cast<size_t>(selected), hasFile);
    QTEST(state.bDownload, "download");
    QTEST(state.bOpen, "open");
    QTEST(state.bViewPage, "viewPage");
}

// The pointer resting on Index opens the tip, on Size it does not; a move
// restarts the wait and leaving the list ends the watch.
void ListTest::tipWatch_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("opens");
    QTest::newRow("Index") << int(CDataListModel::kIndex) << true;
    QTest::newRow("Name") << int(CDataListModel::kName) << true;
    QTest::newRow("Size") << int(CDataListModel::kSize) << false;
    QTest::newRow("Peers") << int(CDataListModel::kPeers) << false;
}

void ListTest::tipWatch() {
    QFETCH(int, column);
    CDataListModel model(nullptr);
    CDataListCtrl list;
    list.SetListModel(&model);
    model.SetRecords({Entry("a", 0), Entry("b", 1)});
    list.resize(1000, 300);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    qint64 now = 0;
    list.SetTipClock([&now] { return now; });
    list.SetTipDelay(700);
    QSignalSpy tips(&list, &CDataListCtrl::TipWanted);
    const QPoint at = list.visualRect(model.index(1, column)).center();
    auto moveTo = [&list](QPoint to) {
        QMouseEvent move(QEvent::MouseMove, to, list.viewport()->mapToGlobal(to), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &move);
    };
    moveTo(at - QPoint(1, 0));
    QVERIFY(list.IsTipWatching());
    now = 400;
    moveTo(at);
    list.TipWatchTick();
    now = 1099;
    list.TipWatchTick();
    QCOMPARE(tips.count(), 0);
    now = 1100;
    list.TipWatchTick();
    QFETCH(bool, opens);
    QCOMPARE(tips.count(), opens ? 1 : 0);
    QCOMPARE(list.IsTipWatching(), !opens);
    if (opens) {
        QCOMPARE(tips.front().at(0).toInt(), 1);
        return;
    }
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(list.viewport(), &leave);
    QVERIFY(!list.IsTipWatching());
}
