// The explorer's plain parts: its command line, the texts rows and the details pane show
// for replies, and the reading of classic root listing lines.
#include <QTest>

#include "details_text.h"
#include "display_text.h"
#include "explorer_options.h"
#include "heap_rows.h"
#include "root_survey.h"

class ExplorerTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commandLinePicksTheExplorerAndReadsItsPort();
    void aProcessIdPicksTheExplorerToo();
    void slotsAreNamedAsAJavaProgrammerReadsThem();
    void detailsShowAStringWholeAndEscaped();
    void detailsShowAPrimitiveArrayPageAsValues();
};

void ExplorerTextTest::commandLinePicksTheExplorerAndReadsItsPort()
{
    QVERIFY(wantsExplorer({"port=5005", "explore"}));
    QVERIFY(!wantsExplorer({"port=5005", "debug=1"}));
    QVERIFY(!wantsExplorer({"explorer"}));

    ExplorerOptions options;
    std::string error;
    QVERIFY(parseExplorerOptions({"explore", "port=5005"}, options, error));
    QCOMPARE(options.port, 5005);
    for (const char* bad : {"port=0", "port=65536", "port=12ab", "port=", "port=-1"}) {
        ExplorerOptions other;
        QVERIFY2(!parseExplorerOptions({"explore", bad}, other, error), bad);
        QVERIFY(error.find("1 to 65535") != std::string::npos);
        QCOMPARE(other.port, 12345);
    }
    QVERIFY(!parseExplorerOptions({"explore", "debug=1"}, options, error));
    QVERIFY(error.find("debug=1") != std::string::npos);
}

void ExplorerTextTest::aProcessIdPicksTheExplorerToo()
{
    QVERIFY(wantsExplorer({"4242"}));
    QVERIFY(!wantsExplorer({"port=4242"}));
    for (const auto& words : {std::vector<std::string>{"4242"}, {"explore", "pid=4242"}, {"pid=4242", "explore"}}) {
        ExplorerOptions options;
        std::string error;
        QVERIFY2(parseExplorerOptions(words, options, error), error.c_str());
        QCOMPARE(options.pid, 4242L);
        QCOMPARE(options.port, 12345);
    }
    const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
        {{"explore", "pid=0"}, "pid wants a process id, not \"0\""},
        {{"explore", "pid=abc"}, "pid wants a process id, not \"abc\""},
        {{"explore", "pid=99999999999"}, "pid wants a process id, not \"99999999999\""},
        {{"4242", "pid=4243"}, "more than one process id"},
        {{"explore", "pid=4242", "port=5005"}, "give port=N or pid=PID, not both"},
        {{"4242", "debug=1"}, "unknown word \"debug=1\" (the explorer takes port=N or pid=PID)"},
    };
    for (const auto& [words, message] : wrong) {
        ExplorerOptions options;
        std::string error;
        QVERIFY(!parseExplorerOptions(words, options, error));
        QCOMPARE(error, message);
    }
    // Without a pid nothing is looked up; a pid that names no process says so.
    ExplorerOptions byPort;
    std::string error;
    QVERIFY(resolveExplorerPort(byPort, error));
    QCOMPARE(byPort.port, 12345);
    ExplorerOptions gone;
    gone.pid = 999999999;
    QVERIFY(!resolveExplorerPort(gone, error));
    QCOMPARE(error, std::string("no process with id 999999999"));
}

void ExplorerTextTest::slotsAreNamedAsAJavaProgrammerReadsThem()
{
    QCOMPARE(holdName("element", "12"), QStringLiteral("[12]"));
    QCOMPARE(holdName("static", "CACHE"), QStringLiteral("CACHE"));
    QCOMPARE(holdName("pool", "7"), QStringLiteral("<constant pool #7>"));
    QCOMPARE(holdName("class", ""), QStringLiteral("<class>"));
    QCOMPARE(rootKindTitle("stack-local"), QStringLiteral("Java stack local"));
    QCOMPARE(rootKindTitle("new-kind"), QStringLiteral("new-kind"));  // a later agent's kind shows as it is
    QVERIFY(rootKindOrder("jni-global") < rootKindOrder("other"));
    QVERIFY(rootKindOrder("other") < rootKindOrder("new-kind"));

    // An element of a primitive array: a leaf captioned by its index, typed by the component.
    const auto element = slotRow({"element", "3", "", "char", "é", {}});
    QCOMPARE(element->kind(), HeapTreeItem::Kind::value);
    QCOMPARE(element->cells().name, QStringLiteral("[3]"));
    QCOMPARE(element->cells().type, QStringLiteral("char"));
    QCOMPARE(element->cells().value, QStringLiteral("é"));
    // A reference without preview shows its handle; its type is the object's own.
    const auto field = slotRow({"field", "owner", "Car", "java.lang.Object", "", {"5e", "[[I", 24, ""}});
    QCOMPARE(field->kind(), HeapTreeItem::Kind::object);
    QCOMPARE(field->cells().type, QStringLiteral("int[][]"));
    QCOMPARE(field->cells().value, QStringLiteral("@5e"));
    QVERIFY(field->cells().tip.contains(QStringLiteral("field of Car")));
    QCOMPARE(field->handle(), std::string("5e"));
}

void ExplorerTextTest::detailsShowAStringWholeAndEscaped()
{
    ObjectView view;
    const std::string text = std::string(300, 'x') + "<b>&\"tail\"";
    view.object = {"8", "java.lang.String", 24, "\"" + std::string(100, 'x') + "...\""};
    view.hasText = true;
    view.text = text;
    view.contents = {{"field", "value", "java.lang.String", "[B", "", {"9", "[B", 328, "[311]"}},
                  {"field", "hash", "java.lang.String", "int", "0", {}},
                  {"field", "name", "java.lang.Thread", "java.lang.String", "null", {}}};
    const QString html = detailsHtml(view);
    QVERIFY(html.contains(QString::fromStdString(std::string(300, 'x')) + "&lt;b&gt;&amp;&quot;tail&quot;"));
    QVERIFY(html.contains(QStringLiteral("310 characters")));
    QVERIFY(html.contains(QStringLiteral("[311]")));
    QVERIFY(html.contains(QStringLiteral("byte[]")));
    // Only a field of another class says where it comes from.
    QVERIFY(html.contains(QStringLiteral("from java.lang.Thread")));
    QVERIFY(!html.contains(QStringLiteral("from java.lang.String")));
}

void ExplorerTextTest::detailsShowAPrimitiveArrayPageAsValues()
{
    ObjectView view;
    view.object = {"7", "[J", 8016, "[1000]"};
    view.length = 5000;
    view.figures = {{"offset", "0"}, {"limit", "3"}};
    view.contents = {{"class", "", "", "java.lang.Class", "", {"40000001", "java.lang.Class", 112, "class [J"}}};
    for (const char* value : {"1", "-2", "3"})
        view.contents.push_back({"element", std::to_string(view.contents.size() - 1), "", "long", value, {}});
    const QString html = detailsHtml(view);
    QVERIFY(html.contains(QStringLiteral("long[] @7")));
    QVERIFY(html.contains(QStringLiteral("length 5,000")));
    QVERIFY(html.contains(QStringLiteral("elements</b> 0 to 2 of 5,000")));
    QVERIFY(html.contains(QStringLiteral("1, -2, 3")));
}

QTEST_GUILESS_MAIN(ExplorerTextTest)
#include "explorer_text_test.moc"
