// The viewer against a real JVM running the agent and the demo program: refresh lists
// the VM's roots, expanding objects shows what they refer to, close ends the JVM.
#include <QProcess>
#include <QTest>

#include <memory>

#include "agent_jvm.h"
#include "fake_agent.h"

class ViewerEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void browseTheDemoAndClose();

private:
    std::unique_ptr<QProcess> jvm_;
};

void ViewerEndToEndTest::cleanup()
{
    killJvm(jvm_.get());
    jvm_.reset();
}

// The captions listed under "children of <parent>:" in the driver's output.
static QStringList childrenOf(const QString& output, const QString& parent)
{
    QStringList captions;
    bool inside = false;
    for (const QString& line : output.split('\n')) {
        if (line.startsWith(QStringLiteral("children of ")))
            inside = line == "children of " + parent + ":";
        else if (inside && line.startsWith(QStringLiteral("  ")))
            captions << line.mid(2);
    }
    return captions;
}

void ViewerEndToEndTest::browseTheDemoAndClose()
{
    const QString port = QString::number(FakeAgent::unusedPort());
    jvm_ = std::make_unique<QProcess>();
    jvm_->setProgram(QStringLiteral(JDK_JAVA));
    jvm_->setArguments({QStringLiteral("-agentpath:" VORLAN_AGENT "=port=%1,kind=0,debug=0").arg(port),
                        QStringLiteral("-cp"), QStringLiteral(DEMO_CLASSES), QStringLiteral("VorlanDemo")});
    jvm_->start();
    const QString notListening = waitForAgentListening(*jvm_);
    QVERIFY2(notListening.isEmpty(), qPrintable(notListening));

    QProcess viewer;
    viewer.setProgram(QStringLiteral(VORLAN_WINDOW_DRIVER));
    viewer.setArguments({"-platform", "offscreen", "--initial-port=" + port, "--step=refresh", "--step=list",
                         "--step=expand=sun/launcher/LauncherHelper", "--step=expand=VorlanDemo", "--step=list",
                         "--step=expand=VorlanDemo$Person[]", "--step=list", "--step=expand=VorlanDemo$Person",
                         "--step=list", "--step=expand=VorlanDemo$Address", "--step=list", "--step=close",
                         "port=" + port});
    viewer.start();
    QVERIFY(viewer.waitForFinished(120000));
    const QString output = QString::fromUtf8(viewer.readAllStandardOutput());
    QVERIFY2(viewer.exitCode() == 0, viewer.readAllStandardError().constData());

    const QStringList roots = childrenOf(output, "classes");
    QVERIFY2(roots.size() > 100, qPrintable(output.left(2000)));
    QVERIFY(roots.contains("java/lang/Thread"));
    QVERIFY(roots.contains("java/lang/Object[]"));

    // The demo class's static fields: the address book, the favourites and the counters.
    const QStringList statics = childrenOf(output, "VorlanDemo");
    QVERIFY2(statics.contains("java/util/HashMap"), qPrintable(statics.join(',')));
    QVERIFY(statics.contains("VorlanDemo$Person[]"));
    QVERIFY(statics.contains("long[]"));

    QCOMPARE(childrenOf(output, "VorlanDemo$Person[]").count("VorlanDemo$Person"), 2);

    const QStringList person = childrenOf(output, "VorlanDemo$Person");
    QVERIFY2(person.contains("java/lang/String"), qPrintable(person.join(',')));
    QVERIFY(person.contains("VorlanDemo$Address"));
    QVERIFY(person.contains("java/util/ArrayList"));

    const QStringList address = childrenOf(output, "VorlanDemo$Address");
    QVERIFY2(address.count("java/lang/String") == 2, qPrintable(address.join(',')));
    QVERIFY(address.contains("int[]"));

    // "close" sent "q": the Java program ends with status 0.
    QVERIFY(jvm_->waitForFinished(30000));
    QCOMPARE(jvm_->exitStatus(), QProcess::NormalExit);
    QCOMPARE(jvm_->exitCode(), 0);
}

QTEST_GUILESS_MAIN(ViewerEndToEndTest)
#include "viewer_e2e_test.moc"
