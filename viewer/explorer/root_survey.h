// The GC roots for the Objects view: the agent's "roots" listing, each object with the
// kind of root that holds it, read in pages on a connection of its own so that the
// explorer's other requests go on meanwhile. It runs on a worker thread and hands back
// a batch per page.
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
    std::string kind;  // the agent's root kind
    std::string where;  // thread and method, for stack and thread roots
    RootEntry root;
    GcRoot holder;     // the root itself: its kind, thread and method
};

struct SurveyBatch {
    long long total = 0;     // rows in the listing
    long long surveyed = 0;  // of them, read so far
    double walkMs = 0;       // pauses taken so far, in all
    std::vector<SortedRoot> sorted;
    ClientError error;  // the survey ended on it
};

class RootSurvey : public QObject {
    Q_OBJECT

public:
    explicit RootSurvey(QObject* parent = nullptr);
    ~RootSurvey() override;

    // Stops a survey under way and starts one on port.
    void start(int port);
    void stop();
    bool running() const { return current_ != nullptr; }

Q_SIGNALS:
    // The first page of the root listing has been read (or could not be).
    void rootsListed();
    void batchReady(const SurveyBatch& batch);
    void finished();

private:
    std::unique_ptr<QThreadPool> pool_;
    std::shared_ptr<AgentSession> session_;
    QFutureWatcher<SurveyBatch>* current_ = nullptr;  // the survey whose batches count
};
