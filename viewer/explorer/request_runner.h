// Runs the explorer's agent requests off the GUI thread: one worker thread and one
// AgentSession, so requests go out one after another on one connection (the agent
// serves one at a time anyway), and each result comes back on the GUI thread.
#pragma once

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <functional>
#include <memory>
#include <type_traits>

#include "agent_session.h"

// What a finished request tells the status bar and the connection line.
struct RequestOutcome {
    QString what;            // "histo", "object 1a2b", ... as the busy indicator said
    ClientError error;
    double elapsedMs = 0;    // on this side, from the request's start to its whole reply
    double walkMs = -1;      // the pause the program saw, when the reply tells it
    double gcMs = -1;        // the collection forced first, when there was one
    Hello hello;             // the connection's hello; empty when it is not connected
    bool quiet = false;      // a reading the window made by itself: its time does not replace the user's
};

// Whether a reply view carries the agent's figures (walk_ms and the like).
template <typename View, typename = void>
struct HasFigures : std::false_type {};
template <typename View>
struct HasFigures<View, std::void_t<decltype(std::declval<View>().figures)>> : std::true_type {};

class RequestRunner : public QObject {
    Q_OBJECT

public:
    explicit RequestRunner(int port, QObject* parent = nullptr);
    ~RequestRunner() override;

    int port() const { return port_; }
    // Counts the connections made: what a request prepared for one connection keeps
    // from the next.
    int generation() const { return generation_->current; }
    // Drops the connection and every request not yet answered (their answers are never
    // delivered); later requests go to port, connecting afresh.
    void reconnect(int port);
    // Requests sent and not yet answered.
    int pending() const { return pending_; }

    // Runs request on the worker thread; done then runs on the GUI thread, unless context
    // has been destroyed or reconnect() came in between. A quiet request's outcome says
    // so, for the status bar to keep the user's last request in view.
    template <typename View>
    void run(const QString& what, std::function<Result<View>(AgentSession&)> request, QObject* context,
             std::function<void(const Result<View>&)> done, bool quiet = false);

Q_SIGNALS:
    void started(const QString& what);
    void finished(const RequestOutcome& outcome);
    // reconnect() has dropped the requests that were out: none of them will finish.
    void dropped();

private:
    template <typename View>
    struct Timed {
        Result<View> result;
        double elapsedMs = 0;
        Hello hello;
    };

    // Every request carries the generation it was made in; one that finds a newer one
    // when its turn comes is not sent.
    struct Generation {
        std::atomic<int> current{0};
    };

    static ClientError staleError();
    RequestOutcome outcomeOf(const QString& what, const ClientError& error, const Figures& figures, double elapsedMs,
                             Hello hello, bool quiet) const;

    int port_;
    std::shared_ptr<AgentSession> session_;
    std::shared_ptr<Generation> generation_;
    QThreadPool pool_;
    int pending_ = 0;
};

template <typename View>
void RequestRunner::run(const QString& what, std::function<Result<View>(AgentSession&)> request, QObject* context,
                        std::function<void(const Result<View>&)> done, bool quiet)
{
    const int generation = generation_->current;
    auto work = [session = session_, state = generation_, generation, request = std::move(request)] {
        Timed<View> timed;
        if (state->current != generation) {
            timed.result.error = staleError();
            return timed;
        }
        QElapsedTimer clock;
        clock.start();
        timed.result = request(*session);
        timed.elapsedMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        timed.hello = session->hello();
        return timed;
    };
    auto* watcher = new QFutureWatcher<Timed<View>>(this);
    QPointer<QObject> receiver(context);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, what, generation, receiver, done, quiet] {
        watcher->deleteLater();
        if (generation != generation_->current)
            return;  // reconnect() has moved on; its own requests report themselves
        --pending_;
        const Timed<View> timed = watcher->result();
        Figures figures;
        if constexpr (HasFigures<View>::value)
            figures = timed.result.value.figures;
        Q_EMIT finished(outcomeOf(what, timed.result.error, figures, timed.elapsedMs, timed.hello, quiet));
        if (receiver)
            done(timed.result);
    });
    ++pending_;
    Q_EMIT started(what);
    watcher->setFuture(QtConcurrent::run(&pool_, std::move(work)));
}
