// The heap dump reader on arbitrary bytes, plain or gzip: it must read them or throw one
// HprofError, never crash or hang; what it reads is queried as a client would, a few
// objects' values are read again from the same bytes, and the snapshot built on it
// answers each query without fault.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "byte_source.h"
#include "hprof_error.h"
#include "object_values.h"
#include "snapshot_queries.h"
#include "snapshot_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        auto stream = openDumpStream(std::make_unique<MemorySource>(data, size));
        const HeapIndex index = readHeapDump(*stream);
        for (const auto& row : index.histogram())
            (void)index.className(row.cls);
        for (uint32_t object = 0; object < index.graph.objects && object < 64; ++object) {
            (void)index.kind(object);
            if (index.objectAt(index.addressOf(object)) != object)
                __builtin_trap();
            for (const HeapIndex::Reference& r : index.references(object)) {
                if (r.target >= index.graph.objects)
                    __builtin_trap();
                (void)index.edgeName(object, r.edge);
            }
        }
        for (uint32_t t = 0; t < index.threads.size(); ++t)
            (void)index.threadLabel(t);
        // The same bytes read again for a few objects' values.
        if (index.graph.objects > 0) {
            const uint32_t last = index.graph.objects - 1;
            auto again = openDumpStream(std::make_unique<MemorySource>(data, size));
            const auto values = readObjectValues(*again, {index.addressOf(0), index.addressOf(last), 8}, 64);
            if (!values[0].found || !values[1].found)
                __builtin_trap();
            (void)fieldValues(index, 0, values[0]);
            (void)fieldValues(index, last, values[1]);
        }
        // The queries, values read again from the same bytes.
        auto values = [data, size](const std::vector<uint64_t>& addresses, size_t maxArrayBytes) {
            auto again = openDumpStream(std::make_unique<MemorySource>(data, size));
            return readObjectValues(*again, addresses, maxArrayBytes);
        };
        HeapIndex copy = readHeapDump(*openDumpStream(std::make_unique<MemorySource>(data, size)));
        const Snapshot snapshot(std::move(copy), values);
        (void)snapshot.top(5);
        (void)snapshot.suspects(0.1);
        (void)snapshot.dominators(kVirtualRoot, 0, 10);
        (void)snapshot.histogram({});
        (void)snapshot.profile();
        for (uint32_t object = 0; object < snapshot.index().graph.objects && object < 16; ++object) {
            (void)snapshot.path(object);
            (void)snapshot.referrers(object, 10);
            (void)snapshot.dominators(object, 0, 10);
            (void)snapshot.show(object, 0, 10);
        }
        if (!snapshot.index().classes.empty())
            (void)snapshot.instances(snapshot.index().className(0), true, 0, 10);
    } catch (const HprofError&) {
    } catch (const SourceError&) {
    } catch (const SnapshotError&) {
    }
    return 0;
}
