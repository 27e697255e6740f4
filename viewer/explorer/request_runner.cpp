#include "request_runner.h"

RequestRunner::RequestRunner(int port, QObject* parent)
    : QObject(parent),
      port_(port),
      session_(std::make_shared<AgentSession>(port)),
      generation_(std::make_shared<Generation>())
{
    pool_.setMaxThreadCount(1);  // one session, one request at a time
}

RequestRunner::~RequestRunner()
{
    ++generation_->current;
    session_->abort();
    pool_.waitForDone();
}

void RequestRunner::reconnect(int port)
{
    ++generation_->current;
    session_->abort();
    port_ = port;
    session_ = std::make_shared<AgentSession>(port);
    pending_ = 0;  // the earlier requests' answers are not counted, nor delivered
    Q_EMIT dropped();
}

ClientError RequestRunner::staleError()
{
    return {Failure::aborted, {}, "not sent: the explorer connected anew"};
}

RequestOutcome RequestRunner::outcomeOf(const QString& what, const ClientError& error, const Figures& figures,
                                        double elapsedMs, Hello hello, bool quiet) const
{
    RequestOutcome outcome;
    outcome.what = what;
    outcome.error = error;
    outcome.elapsedMs = elapsedMs;
    outcome.walkMs = figureNumber(figures, "walk_ms", -1);
    outcome.gcMs = figureNumber(figures, "gc_ms", -1);
    outcome.hello = std::move(hello);
    outcome.quiet = quiet;
    return outcome;
}
