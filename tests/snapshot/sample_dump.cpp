#include "sample_dump.h"

#include "hprof_writer.h"

namespace {

enum : uint8_t { kObject = 2, kByte = 8, kInt = 10 };

// Symbols.
enum : uint64_t {
    sObject = 0x501, sClass, sString, sThread, sReference, sWeak, sBytes, sObjects, sNode,
    sValue, sCoder, sName, sReferent, sNext, sLabel, sNumber, sWork, sSignature, sSource,
};

}  // namespace

SampleDump sampleDump(const VmLayout& layout, unsigned idSize)
{
    SampleDump d{};
    const bool oops = layout.compressedOops;
    // Sizes worked out by hand for a layout with compressed class pointers (12-byte
    // header): Node {next, number, label}: number at 12, then the references.
    d.nodeBytes = oops ? 24 : 32;
    d.arrayBytes = oops ? 32 : 48;   // Object[4]
    d.weakBytes = oops ? 24 : 32;    // Reference {referent, next}
    d.threadBytes = oops ? 16 : 24;  // Thread {name}
    const uint32_t stringBytes = 24; // String {value, coder} and its injected byte
    const uint32_t bytesBytes = 24;  // byte[5] and byte[6]

    // Classes in one megabyte, far apart; objects back to back in another.
    const uint64_t c = idSize == 8 ? 0x7f0000000 : 0x10000000;
    const uint64_t cObject = c, cClass = c + 0x100, cString = c + 0x200, cThread = c + 0x300, cReference = c + 0x400,
                   cWeak = c + 0x500, cBytes = c + 0x600, cObjects = c + 0x700, cNode = c + 0x800;
    d.nodeClass = cNode;
    uint64_t next = (idSize == 8 ? 0x7f0200000 : 0x10200000);
    auto place = [&](uint32_t size) {
        const uint64_t at = next;
        next += size;
        return at;
    };
    d.t2 = 0;  // placed after its name
    const uint64_t earlyBytes = place(bytesBytes), early = place(stringBytes);
    d.t2 = place(d.threadBytes);
    d.n1 = place(d.nodeBytes);
    d.n2 = place(d.nodeBytes);
    d.n3 = place(d.nodeBytes);
    d.array = place(d.arrayBytes);
    d.weak = place(d.weakBytes);
    d.t1 = place(d.threadBytes);
    d.firstBytes = place(bytesBytes);
    d.first = place(stringBytes);
    const uint64_t workerBytes = place(bytesBytes), worker = place(stringBytes);
    d.absent = next + 0x1000;

    HprofWriter w(idSize);
    const std::pair<uint64_t, const char*> symbols[] = {
        {sObject, "java/lang/Object"}, {sClass, "java/lang/Class"}, {sString, "java/lang/String"},
        {sThread, "java/lang/Thread"}, {sReference, "java/lang/ref/Reference"},
        {sWeak, "java/lang/ref/WeakReference"}, {sBytes, "[B"}, {sObjects, "[Ljava/lang/Object;"},
        {sNode, "App$Node"}, {sValue, "value"}, {sCoder, "coder"}, {sName, "name"}, {sReferent, "referent"},
        {sNext, "next"}, {sLabel, "label"}, {sNumber, "number"}, {sWork, "work"}, {sSignature, "()V"},
        {sSource, "App.java"}};
    for (const auto& [id, text] : symbols)
        w.utf8(id, text);
    const std::pair<uint64_t, uint64_t> classes[] = {{cObject, sObject}, {cClass, sClass},       {cString, sString},
                                                     {cThread, sThread}, {cReference, sReference}, {cWeak, sWeak},
                                                     {cBytes, sBytes},   {cObjects, sObjects},     {cNode, sNode}};
    uint32_t serial = 0;
    for (const auto& [id, name] : classes)
        w.loadClass(++serial, id, name);
    const uint32_t nodeSerial = serial;
    w.frame(0x901, sWork, sSignature, sSource, nodeSerial, 42);
    w.trace(2, 1, {0x901});
    w.trace(3, 2, {});

    w.beginSegment();
    w.classDump(cObject, 0, {}, {});
    w.classDump(cClass, cObject, {}, {});
    w.classDump(cString, cObject, {}, {{sValue, kObject}, {sCoder, kByte}});
    w.classDump(cThread, cObject, {}, {{sName, kObject}});
    w.classDump(cReference, cObject, {}, {{sReferent, kObject}, {sNext, kObject}});
    w.classDump(cWeak, cReference, {}, {});
    w.classDump(cBytes, cObject, {}, {});
    w.classDump(cObjects, cObject, {}, {});
    w.classDump(cNode, cObject, {{sLabel, kObject, d.n1}}, {{sNext, kObject}, {sNumber, kInt}, {sLabel, kObject}});
    w.rootStickyClass(cNode);
    w.rootThread(d.t1, 1, 2);
    w.rootThread(d.t2, 2, 3);
    w.rootJavaFrame(d.n2, 1, 0);
    w.rootJniGlobal(d.array);
    w.endSegment();

    w.beginSegment();
    w.primitiveArray(earlyBytes, kByte, 5, {'e', 'a', 'r', 'l', 'y'});
    w.instance(early, cString, {{kObject, earlyBytes}, {kByte, 0}});
    w.instance(d.t2, cThread, {{kObject, early}});
    w.instance(d.n1, cNode, {{kObject, d.n2}, {kInt, 1}, {kObject, d.first}});
    w.instance(d.n2, cNode, {{kObject, d.n3}, {kInt, 2}, {kObject, 0}});
    w.instance(d.n3, cNode, {{kObject, 0}, {kInt, 3}, {kObject, 0}});
    w.objectArray(d.array, cObjects, {d.n1, 0, d.n3, d.absent});
    w.endSegment();
    w.beginSegment();
    w.instance(d.weak, cWeak, {{kObject, d.n3}, {kObject, 0}});
    w.instance(d.t1, cThread, {{kObject, worker}});
    w.primitiveArray(d.firstBytes, kByte, 5, {'f', 'i', 'r', 's', 't'});
    w.instance(d.first, cString, {{kObject, d.firstBytes}, {kByte, 0}});
    w.primitiveArray(workerBytes, kByte, 6, {'w', 'o', 'r', 'k', 'e', 'r'});
    w.instance(worker, cString, {{kObject, workerBytes}, {kByte, 0}});
    w.endSegment();
    w.heapDumpEnd();
    d.bytes = w.bytes();
    return d;
}
