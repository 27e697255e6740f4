// The taker of a build without the live capture library: it takes nothing and says why.
#include "snapshot_taker.h"

struct SnapshotTaker::State {};

SnapshotTaker::SnapshotTaker(QObject* parent) : QObject(parent) {}
SnapshotTaker::~SnapshotTaker() = default;

bool SnapshotTaker::available()
{
    return false;
}

QString SnapshotTaker::unavailableReason()
{
    return tr("this build of Vorlan has no live capture: open a heap dump file instead (jcmd PID GC.heap_dump FILE writes one)");
}

bool SnapshotTaker::take(long)
{
    return false;
}

void SnapshotTaker::cancel() {}

bool SnapshotTaker::busy() const
{
    return false;
}

LiveLookup SnapshotTaker::liveLookup(const Snapshot&, uint32_t, QString& why)
{
    why = unavailableReason();
    return {};
}
