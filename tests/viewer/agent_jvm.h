// The real JVM the window tests drive: waited for until its agent listens, and killed at
// the end with what a VM killed outright leaves behind.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>

// Empty once the started jvm's agent says "listen" on standard error (its server socket
// is ready); otherwise why not.
inline QString waitForAgentListening(QProcess& jvm)
{
    if (!jvm.waitForStarted(20000))
        return QStringLiteral("the JVM did not start: ") + jvm.errorString();
    QByteArray agentErr;
    while (!agentErr.contains("listen\n")) {
        if (!jvm.waitForReadyRead(30000))
            return QStringLiteral("the agent did not listen: ") + QString::fromUtf8(agentErr);
        agentErr += jvm.readAllStandardError();
    }
    return {};
}

// Kills jvm if it runs. A VM killed outright leaves its agent's port file and its attach
// socket, which a later process given the same pid would be asked through: both go.
inline void killJvm(QProcess* jvm)
{
    if (!jvm || jvm->state() == QProcess::NotRunning)
        return;
    const QString pid = QString::number(jvm->processId());
    jvm->kill();
    jvm->waitForFinished(10000);
    QFile::remove(QStringLiteral("/tmp/.vorlan_pid") + pid);
    QFile::remove(QStringLiteral("/tmp/.java_pid") + pid);
}
