// The status bar's account of requests: while one is out, a busy bar with what is being
// done and for how long; when it is answered, how long it took and how long the program
// was paused (the reply's walk_ms), until the next request the user makes (readings the
// window makes by itself are quiet); when it fails, why, in red, until the next success.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include "request_runner.h"

class QLabel;
class QProgressBar;
class QStatusBar;

class RequestStatus : public QObject {
    Q_OBJECT

public:
    // Shows busy only past this, so quick requests do not make the bar flicker.
    static constexpr int kBusyAfterMs = 150;

    RequestStatus(QStatusBar* bar, RequestRunner* runner);

    // The message shown now (the last outcome, or a note), and whether it is a failure.
    QString message() const;
    bool showingFailure() const { return failure_; }
    bool busy() const;
    // A note of the window's own ("copied ..."), shown like an outcome; a warning in red,
    // like a failure.
    void note(const QString& text);
    void warn(const QString& text);

Q_SIGNALS:
    void failed(const ClientError& error);

private:
    void started(const QString& what);
    void finished(const RequestOutcome& outcome);
    void tick();
    void show(const QString& text, bool failure);

    QLabel* message_;
    QLabel* busyText_;
    QProgressBar* busyBar_;
    QStringList queue_;  // requests in the order they run
    QElapsedTimer current_;
    QTimer ticker_;
    bool failure_ = false;
};

// One line on a finished request: "counting the heap by class: 45 ms; the program
// paused 2.1 ms", or the failure's message.
QString outcomeText(const RequestOutcome& outcome);
