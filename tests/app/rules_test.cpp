// The desktop program's rules without widgets.
#include "rules_test.h"

#include <QTest>

#include "shell_rules.h"

using shell::CommandLine;
using Kind = CDeleteCommands::Kind;
Q_DECLARE_METATYPE(CommandLine::Action)
Q_DECLARE_METATYPE(CDeleteCommands::Kind)

void RulesTest::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<CommandLine::Action>("action");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<QString>("home");
    using A = CommandLine::Action;
    QTest::newRow("nothing") << QStringList{} << A::kRun << false << "";
    QTest::newRow("hide") << QStringList{"hide"} << A::kRun << true << "";
    QTest::newRow("HIDE starts visibly") << QStringList{"HIDE"} << A::kRun << false << "";
    QTest::newRow("hide after a document name")
        << QStringList{"notes.txt", "hide"} << A::kRun << false << "";
    QTest::newRow("home option is no plain parameter")
        << QStringList{"--home", "/h/", "hide"} << A::kRun << true << "/h/";
    QTest::newRow("home option with =") << QStringList{"--home=/x/"} << A::kRun << false << "/x/";
    QTest::newRow("other switches skipped")
        << QStringList{"-Embedding", "hide"} << A::kRun << true << "";
    QTest::newRow("-RegServer") << QStringList{"-RegServer"} << A::kRegister << false << "";
    QTest::newRow("/regserver") << QStringList{"/regserver"} << A::kRegister << false << "";
    QTest::newRow("-REGSERVER after hide")
        << QStringList{"hide", "-REGSERVER"} << A::kRegister << true << "";
    QTest::newRow("/UnregServer") << QStringList{"/UnregServer"} << A::kUnregister << false << "";
    QTest::newRow("-unregserver") << QStringList{"-unregserver"} << A::kUnregister << false << "";
    QTest::newRow("RegServer without a switch character")
        << QStringList{"RegServer"} << A::kRun << false << "";
}

void RulesTest::commandLine() {
    QFETCH(QStringList, args);
    std::vector<std::string> plain;
    for (const QString& arg : args) {
        plain.push_back(arg.toStdString());
    }
    const CommandLine line = shell::ParseCommandLine(plain);
    QTEST(line.action, "action");
    QTEST(line.bHidden, "hidden");
    QTEST(QString::fromStdString(line.strHome), "home");
}

void RulesTest::instanceName() {
    const std::string name = shell::InstanceName(1000, "/home/a/tessaro/");
    QCOMPARE(shell::InstanceName(1000, "/home/a/tessaro/"), name);
    QVERIFY(shell::InstanceName(1001, "/home/a/tessaro/") != name);
    QVERIFY(shell::InstanceName(1000, "/home/a/other/") != name);
    // A local socket path is at most 107 bytes, and it lives in /tmp/.
    QVERIFY(shell::InstanceName(4294967295U, std::string(300, 'x')).size() < 90);
}

void RulesTest::treeMenu_data() {
    QTest::addColumn<int>("node");  // -1 none, 0 root, 1 category, 2 leaf
    QTest::addColumn<bool>("viewer");
    QTest::addColumn<bool>("refresh");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<bool>("deletes");
    QTest::newRow("no selection") << -1 << false << false << false << true;
    QTest::newRow("root") << 0 << false << false << true << true;
    QTest::newRow("category") << 1 << false << true << true << true;
    QTest::newRow("leaf") << 2 << false << true << true << true;
    QTest::newRow("viewer, leaf") << 2 << true << false << false << false;
    QTest::newRow("viewer, no selection") << -1 << true << false << false << false;
}

void RulesTest::treeMenu() {
    QFETCH(int, node);
    QFETCH(bool, viewer);
    CCategoryNode root(0, 0, 1, "root");
    CCategoryNode category(3, 0, 1, "category");
    CCategoryNode leaf(3, 1, 1, "leaf");
    const CCategoryNode* nodes[] = {&root, &category, &leaf};
    const shell::TreeMenuState state =
        shell::TreeMenuRules(node < 0 ? nullptr : nodes[node], viewer);
    QTEST(state.bRefresh, "refresh");
    QTEST(state.bClear, "clear");
    QTEST(state.bDelete, "deletes");
}

void RulesTest::deleteCommands_data() {
    QTest::addColumn<unsigned>("id");
    QTest::addColumn<bool>("isDelete");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("days");
    QTest::addColumn<bool>("asksDate");
    QTest::newRow("before 1 day") << 32781U << true << Kind::kBeforeDays << 1 << false;
    QTest::newRow("before 10 days") << 32790U << true << Kind::kBeforeDays << 10 << false;
    QTest::newRow("lately 1 day") << 32899U << true << Kind::kRecentDays << 1 << false;
    QTest::newRow("lately 10 days") << 32908U << true << Kind::kRecentDays << 10 << false;
    QTest::newRow("lately, last handled id") << 32928U << true << Kind::kRecentDays << 30 << false;
    QTest::newRow("before date") << 32929U << true << Kind::kBeforeDate << 0 << true;
    QTest::newRow("after date") << 32930U << true << Kind::kAfterDate << 0 << true;
    QTest::newRow("clear") << 32772U << true << Kind::kClearData << 0 << false;
    QTest::newRow("refresh is no delete") << 32771U << false << Kind::kClearData << 0 << false;
    QTest::newRow("reserved id") << 32791U << false << Kind::kClearData << 0 << false;
}

void RulesTest::deleteCommands() {
    QFETCH(unsigned, id);
    QFETCH(bool, isDelete);
    const auto command = shell::DeleteCommandFor(id);
    QCOMPARE(command.has_value(), isDelete);
    if (command) {
        QTEST(command->kind, "kind");
        QTEST(command->nDays, "days");
    }
    QTEST(shell::AsksForDate(id), "asksDate");
}

void RulesTest::smallRules() {
    const size_t positions[][2] = {{0, 0}, {1, 1}, {2, 2}, {7, 2}};
    for (const auto& [categories, expected] : positions) {
        QCOMPARE(shell::StartupCategoryPosition(categories), expected);
    }
    using Family = std::vector<std::string>;
    QCOMPARE(shell::ChooseListFontFamily(Family{"DejaVu Sans", "宋体", "Noto Sans CJK SC"}),
             std::string("宋体"));
    QCOMPARE(shell::ChooseListFontFamily(Family{"DejaVu Sans", "Noto Sans CJK SC"}),
             std::string("Noto Sans CJK SC"));
    QCOMPARE(shell::ChooseListFontFamily(Family{"DejaVu Sans"}), std::string());
    QCOMPARE(shell::FormatCount(" %d Record in this folder", 1000000),
             std::string(" 1000000 Record in this folder"));
    QCOMPARE(
        shell::ViewerSentence(4321, texts::Language::kChinese).find("4321") != std::string::npos,
        true);
}
