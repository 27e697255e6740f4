// The log window and vllog.txt at debug level 1: what a refresh, an expansion and a
// double click trace, byte for byte; and which command lines open the log at all.
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

#include "fake_agent.h"
#include "log_window.h"
#include "object_tree_model.h"
#include "startup.h"

class LogWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsEmptyAndCutToItsHeight();
    void refreshInThreeReceivesTracesEveryStep();
    void expansionAndDoubleClickTraces();
    void emptyTextChangesNothing();
    void logWithoutItsFileStillWorks();
    void onlyLevelOneOpensTheLog();

private:
    static QByteArray fileContents();
    // The box shows each line end as one line break, whatever the file stores.
    static QString shownAs(const QByteArray& trace);

    QTemporaryDir dir_;
    QString previousDir_;
};

void LogWindowTest::init()
{
    QVERIFY(dir_.isValid());
    previousDir_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_.path()));  // vllog.txt goes to the working directory
}

void LogWindowTest::cleanup()
{
    QDir::setCurrent(previousDir_);
    QFile::remove(dir_.filePath(kLogFileName));
}

QByteArray LogWindowTest::fileContents()
{
    QFile file(kLogFileName);
    if (!file.open(QIODevice::ReadOnly))
        return "(no vllog.txt)";
    return file.readAll();
}

QString LogWindowTest::shownAs(const QByteArray& trace)
{
    QString text = QString::fromUtf8(trace);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

void LogWindowTest::startsEmptyAndCutToItsHeight()
{
    TForm2 form2;
    QCOMPARE(form2.windowTitle(), QStringLiteral("log"));
    QCOMPARE(form2.log->toPlainText(), QString());
    QCOMPARE(form2.frameGeometry().height(), 249);
    QCOMPARE(form2.log->geometry(), QRect(16, 8, 393, 249));
    QVERIFY(QFile::exists(kLogFileName));
    QCOMPARE(fileContents(), QByteArray());
}

void LogWindowTest::refreshInThreeReceivesTracesEveryStep()
{
    FakeAgent agent;
    TForm2 form2;
    TForm1 form1(agent.port());
    form1.configure(ViewerOptions{1, agent.port()}, &form2);

    const std::string body = "1a2b Ljava/lang/String; \n";
    agent.queueReply({{FakeAgent::header(body.size()) + body.substr(0, 12), body.substr(12, 7), body.substr(19)}});
    form1.refresh_btn->click();

    const QByteArray expected =
        "refresh\r\n"
        "getClasses\r\n"
        "25 bytes will be received.\r\n"
        "init: total=0\r\n"
        "12 bytes received.\r\n"
        "next \n"
        "19 bytes received.\r\n"
        "next \n"
        "25 bytes received.\r\n"
        "25 bytes received.\r\n"
        "strcnt=1\r\n"
        "1a2b Ljava/lang/String; \r\n"
        "convSignature\r\n"
        "Ljava/lang/String; \r\n"
        "strlen(s)=18\r\n"
        "*(s+len-1)=';'\r\n"
        "L\r\n"
        "java/lang/String\r\n"
        "convSignature end\r\n"
        "adr=\r\n";
    QCOMPARE(fileContents(), expected);
    QCOMPARE(form2.log->toPlainText(), shownAs(expected));
}

void LogWindowTest::expansionAndDoubleClickTraces()
{
    FakeAgent agent;
    TForm2 form2;
    TForm1 form1(agent.port());
    form1.configure(ViewerOptions{1, agent.port()}, &form2);
    agent.queueListing("7 Z \n");
    form1.refresh_btn->click();
    const QByteArray afterRefresh = fileContents();

    const QModelIndex node = form1.model()->index(0, 0, form1.model()->rootIndex());
    const QPoint at = form1.tree->viewport()->mapTo(&form1, form1.tree->visualRect(node).center());
    QTest::mouseDClick(form1.windowHandle(), Qt::LeftButton, {}, at);  // the empty reply leaves it childless

    const QByteArray expected = afterRefresh +
                                "TTreeView"
                                "treeExpanding\r\n"
                                "7\r\n"
                                "getClasses\r\n"
                                "0 bytes will be received.\r\n"
                                "strcnt=0\r\n";
    QCOMPARE(fileContents(), expected);
    QCOMPARE(form2.log->toPlainText(), shownAs(expected));
}

void LogWindowTest::emptyTextChangesNothing()
{
    TForm2 form2;
    form2.appendLog("adr=");
    form2.appendLog("");
    QCOMPARE(fileContents(), QByteArray("adr="));
    QCOMPARE(form2.log->toPlainText(), QStringLiteral("adr="));
}

void LogWindowTest::logWithoutItsFileStillWorks()
{
    QVERIFY(QDir().mkdir(kLogFileName));  // a directory where the file should go
    {
        TForm2 form2;
        form2.appendLog("refresh\r\n");
        QCOMPARE(form2.log->toPlainText(), QStringLiteral("refresh\n"));
    }
    QDir().rmdir(kLogFileName);
}

void LogWindowTest::onlyLevelOneOpensTheLog()
{
    FakeAgent agent;
    const std::string port = "port=" + std::to_string(agent.port());
    const struct {
        std::vector<std::string> words;
        bool log;
        int debug;
    } cases[] = {
        {{}, false, -1},
        {{"debug=1"}, true, 1},
        {{port, "debug=1"}, true, 1},
        {{"debug=1", port}, false, -1},
        {{"debug=2"}, false, 2},
        {{"debug=abc"}, false, 0},
    };
    for (const auto& c : cases) {
        QFile::remove(kLogFileName);
        std::vector<const char*> argv = {"Vorlan"};
        for (const std::string& word : c.words)
            argv.push_back(word.c_str());
        const ViewerWindows windows = startViewer(static_cast<int>(argv.size()), argv.data(), agent.port());
        QCOMPARE(windows.Form1->debugLevel(), c.debug);
        QCOMPARE(windows.Form2 != nullptr, c.log);
        QCOMPARE(QFile::exists(kLogFileName), c.log);
    }
}

QTEST_MAIN(LogWindowTest)
#include "log_window_test.moc"
