// The GC roots for the Objects view. The agent has no framed request for them, so the
// survey asks the classic root listing ("p", through AgentClient, on a connection of its
// own), then asks "referrers" of each root for its root kinds, one heap walk per root,
// on a second connection: the explorer's own requests go on meanwhile, in turn with the
// survey's. It runs on a worker thread and hands back batches as it goes.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>

#include <memory>
#include <string>
#include <vector>

#include "agent_session.h"

struct RootEntry {
    std::string handle;
    std::string type;     // Class.getName() form; class objects are java.lang.Class
    std::string preview;  // "class NAME" for class objects, else empty until opened
};

struct SortedRoot {
    std::string kind;  // the agent's root kind; empty when no root holds it any more
    std::string where;  // thread and method, for stack and thread roots
    RootEntry root;
};

struct SurveyBatch {
    long long total = 0;     // roots in the listing
    long long surveyed = 0;  // of them, sorted so far
    double walkMs = 0;       // pauses taken so far, in all
    std::vector<SortedRoot> sorted;
    std::vector<RootEntry> unsorted;  // left when the pause budget was spent
    ClientError error;                // the survey ended on it
};

// A classic listing line ("1a2b Ljava/lang/String; ") as a root entry; false for a line
// that is none.
bool rootEntryFrom(std::string_view line, RootEntry& entry);

class RootSurvey : public QObject {
    Q_OBJECT

public:
    // The program pauses once per root; the survey stops when the pauses add up to this.
    static constexpr double kPauseBudgetMs = 20000;

    explicit RootSurvey(QObject* parent = nullptr);
    ~RootSurvey() override;

    // Stops a survey under way and starts one on port.
    void start(int port);
    void stop();
    bool running() const { return current_ != nullptr; }

Q_SIGNALS:
    // The root listing has been read (or could not be): the agent has forgotten the
    // handles it gave out before it.
    void rootsListed();
    void batchReady(const SurveyBatch& batch);
    void finished();

private:
    std::unique_ptr<QThreadPool> pool_;
    std::shared_ptr<AgentSession> session_;
    QFutureWatcher<SurveyBatch>* current_ = nullptr;  // the survey whose batches count
};
