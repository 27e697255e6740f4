#include "request_status.h"

#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

#include "display_text.h"

QString outcomeText(const RequestOutcome& outcome)
{
    if (outcome.error.failed())
        return outcome.what + QStringLiteral(" failed: ") + fromWire(outcome.error.message);
    QString text = outcome.what + QStringLiteral(": ") + durationText(outcome.elapsedMs);
    if (outcome.walkMs >= 0) {
        text += QStringLiteral("; the program paused ") + durationText(outcome.walkMs);
        if (outcome.gcMs >= 0)
            text += QStringLiteral(", after a collection of ") + durationText(outcome.gcMs);
    }
    return text;
}

RequestStatus::RequestStatus(QStatusBar* bar, RequestRunner* runner) : QObject(bar)
{
    message_ = new QLabel(bar);
    message_->setObjectName(QStringLiteral("statusMessage"));
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    busyText_ = new QLabel(bar);
    busyText_->setObjectName(QStringLiteral("busyText"));
    busyBar_ = new QProgressBar(bar);
    busyBar_->setRange(0, 0);  // no known end: the bar just moves
    busyBar_->setMaximumWidth(120);
    busyBar_->setMaximumHeight(14);
    busyBar_->setTextVisible(false);
    bar->addWidget(message_, 1);
    bar->addPermanentWidget(busyText_);
    bar->addPermanentWidget(busyBar_);
    busyText_->hide();
    busyBar_->hide();

    ticker_.setInterval(100);
    connect(&ticker_, &QTimer::timeout, this, &RequestStatus::tick);
    connect(runner, &RequestRunner::started, this, &RequestStatus::started);
    connect(runner, &RequestRunner::finished, this, &RequestStatus::finished);
    connect(runner, &RequestRunner::dropped, this, [this] {
        queue_.clear();
        tick();
    });
}

QString RequestStatus::message() const
{
    return message_->text();
}

bool RequestStatus::busy() const
{
    return !queue_.isEmpty();
}

void RequestStatus::note(const QString& text)
{
    show(text, false);
}

void RequestStatus::warn(const QString& text)
{
    show(text, true);
}

void RequestStatus::started(const QString& what)
{
    if (queue_.isEmpty())
        current_.start();
    queue_.append(what);
    ticker_.start();
}

void RequestStatus::finished(const RequestOutcome& outcome)
{
    if (!queue_.isEmpty())
        queue_.removeFirst();
    current_.start();  // the next one in line starts now
    // What the window reads by itself (the details of a row) leaves the user's last
    // request and its time in view; its failures are shown all the same.
    if (!outcome.quiet || outcome.error.failed())
        show(outcomeText(outcome), outcome.error.failed());
    if (outcome.error.failed())
        Q_EMIT failed(outcome.error);
    tick();
}

void RequestStatus::tick()
{
    if (queue_.isEmpty()) {
        ticker_.stop();
        busyText_->hide();
        busyBar_->hide();
        return;
    }
    const qint64 ms = current_.elapsed();
    if (ms < kBusyAfterMs)
        return;
    QString text = queue_.first() + QStringLiteral("… ") + durationText(static_cast<double>(ms));
    if (queue_.size() > 1)
        text += tr(" (%1 more waiting)").arg(queue_.size() - 1);
    busyText_->setText(text);
    busyText_->show();
    busyBar_->show();
}

void RequestStatus::show(const QString& text, bool failure)
{
    failure_ = failure;
    message_->setStyleSheet(failure ? QStringLiteral("color: #a01010") : QString());
    message_->setText(text);
}
