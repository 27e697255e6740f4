#include "live_snapshot.h"

std::unique_ptr<Snapshot> openLiveSnapshot(const CliOptions&, const std::function<void(const OpenProgress&)>&)
{
    // The capture (the VM's dump streamed through a private pipe) is not in this build.
    throw LiveSnapshotError("taking a snapshot of a running VM is not in this build yet: write a heap dump with "
                            "jcmd PID GC.heap_dump FILE and read it with vorlan-cli --hprof FILE");
}
