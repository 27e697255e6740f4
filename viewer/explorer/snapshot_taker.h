// Taking a heap snapshot of a running program (its process id) on a thread of its own:
// the VM writes its heap dump into a private pipe while the program is paused, the
// snapshot library reads it as it comes and analyses it. Progress, the snapshot with how
// long the program was paused, or the reason there is none come as signals on the GUI
// thread. The explorer's one way into the live capture library: it also finds a
// snapshot's object again in the running program (liveLookup), for Open live.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include "client_error.h"
#include "reply_views.h"

class AgentSession;
class Snapshot;

// A request that finds a snapshot object in the running VM by the way the snapshot
// reached it, field by field from a class or a named thread: the live object, or an
// error saying where the heap has changed.
using LiveLookup = std::function<Result<ObjectRef>(AgentSession&)>;

class SnapshotTaker : public QObject {
    Q_OBJECT

public:
    explicit SnapshotTaker(QObject* parent = nullptr);
    ~SnapshotTaker() override;

    // The lookup of object; empty, with why, when the snapshot's path to it cannot be
    // followed live (it starts at a JNI reference or a local variable).
    static LiveLookup liveLookup(const Snapshot& snapshot, uint32_t object, QString& why);

    // False, changing nothing, while a capture is under way or none is possible.
    bool take(long pid);
    // Stops the capture wherever it waits (the VM goes on; its pipe and directory go).
    void cancel();
    bool busy() const;

Q_SIGNALS:
    // phase: "the VM writes its heap dump (the program is paused)", "reading the dump"...
    void progress(const QString& phase, quint64 bytes, quint64 total);
    // pause: how long the program was paused, in a sentence.
    void taken(std::shared_ptr<const Snapshot> snapshot, long pid, const QString& pause);
    void failed(const QString& why);
    void cancelled();

private:
    struct State;
    std::unique_ptr<State> state_;
};
