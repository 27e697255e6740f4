#include "leaky_dump.h"

#include <string>

#include "hprof_writer.h"

namespace {

enum : uint8_t { kObject = 2, kByte = 8, kInt = 10, kLong = 11 };

enum : uint64_t {
    sObject = 0x501, sClass, sString, sThread, sReference, sWeak, sBytes, sObjects, sMap, sNode, sNodes, sLoader,
    sLeaky, sSession, sBase, sSub, sValue, sCoder, sName, sReferent, sNext, sTable, sSize, sKey, sHash, sSessions,
    sGuest, sCount, sId, sData, sOwner, sX, sY, sMain, sSignature, sSource, sClasses, sAppLoader,
};

std::vector<uint8_t> text(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace

LeakyDump leakyDump(const char* program, unsigned sessions, bool threadNamed)
{
    LeakyDump d{};
    const uint64_t c = 0x7f0000000;
    const uint64_t cObject = c, cClass = c + 0x100, cString = c + 0x200, cThread = c + 0x300, cReference = c + 0x400,
                   cWeak = c + 0x500, cBytes = c + 0x600, cObjects = c + 0x700, cMap = c + 0x800, cNode = c + 0x900,
                   cNodes = c + 0xa00, cLoader = c + 0xb00, cLeaky = c + 0xc00, cSession = c + 0xd00,
                   cBase = c + 0xe00, cSub = c + 0xf00;
    d.leakyClass = cLeaky;
    d.sessionClass = cSession;
    d.baseClass = cBase;
    d.subClass = cSub;
    // Objects back to back, each the size a VM with compressed oops and class pointers
    // gives it (a 12-byte header, 4-byte references, 8-byte alignment), so the reader
    // infers that layout from their spacing.
    uint64_t next = 0x7f0200000;
    auto place = [&](uint64_t size) {
        const uint64_t at = next;
        next += (size + 7) / 8 * 8;
        return at;
    };
    auto bytesOf = [](uint64_t n) { return 16 + n; };
    const uint64_t stringSize = 24, mapSize = 24, nodeSize = 32, sessionSize = 24;
    const uint64_t loader = place(16), loaded = place(16 + 4 * 4), guestBytes = place(bytesOf(5)), nameBytes = place(bytesOf(4)),
                   name = place(stringSize);
    d.guest = place(stringSize);
    d.map = place(mapSize);
    d.table = place(16 + 32 * 4);
    for (unsigned i = 0; i < sessions; ++i) {
        const std::string key = "s" + std::to_string(i);
        d.keyBytes.push_back(place(bytesOf(key.size())));
        d.keys.push_back(place(stringSize));
        d.data.push_back(place(bytesOf(100 * (i + 1))));
        d.sessions.push_back(place(sessionSize));
        d.nodes.push_back(place(nodeSize));
    }
    d.thread = place(16);
    d.locals = place(16 + 3 * 4);
    d.sub = place(24);
    d.base = place(16);
    d.weak = place(24);
    d.weakly = place(bytesOf(50));
    d.garbage = place(bytesOf(10));
    d.absent = next + 0x100000;

    const std::string main = program;
    HprofWriter w;
    const std::pair<uint64_t, std::string> symbols[] = {
        {sObject, "java/lang/Object"}, {sClass, "java/lang/Class"}, {sString, "java/lang/String"},
        {sThread, "java/lang/Thread"}, {sReference, "java/lang/ref/Reference"},
        {sWeak, "java/lang/ref/WeakReference"}, {sBytes, "[B"}, {sObjects, "[Ljava/lang/Object;"},
        {sMap, "java/util/HashMap"}, {sNode, "java/util/HashMap$Node"}, {sNodes, "[Ljava/util/HashMap$Node;"},
        {sLoader, "jdk/internal/loader/ClassLoaders$AppClassLoader"}, {sLeaky, main}, {sSession, main + "$Session"},
        {sBase, "App$Base"}, {sSub, "App$Sub"}, {sValue, "value"}, {sCoder, "coder"}, {sName, "name"},
        {sReferent, "referent"}, {sNext, "next"}, {sTable, "table"}, {sSize, "size"}, {sKey, "key"}, {sHash, "hash"},
        {sSessions, "SESSIONS"}, {sGuest, "GUEST"}, {sCount, "COUNT"}, {sId, "id"}, {sData, "data"},
        {sOwner, "owner"}, {sX, "x"}, {sY, "y"}, {sMain, "main"}, {sSignature, "([Ljava/lang/String;)V"},
        {sClasses, "classes"}, {sAppLoader, "APP_LOADER"},
        {sSource, main + ".java"}};
    for (const auto& [id, s] : symbols)
        w.utf8(id, s);
    const std::pair<uint64_t, uint64_t> classes[] = {
        {cObject, sObject}, {cClass, sClass}, {cString, sString}, {cThread, sThread}, {cReference, sReference},
        {cWeak, sWeak}, {cBytes, sBytes}, {cObjects, sObjects}, {cMap, sMap}, {cNode, sNode}, {cNodes, sNodes},
        {cLoader, sLoader}, {cLeaky, sLeaky}, {cSession, sSession}, {cBase, sBase}, {cSub, sSub}};
    uint32_t serial = 0, leakySerial = 0;
    for (const auto& [id, nameId] : classes) {
        w.loadClass(++serial, id, nameId);
        if (id == cLeaky)
            leakySerial = serial;
    }
    w.frame(0x901, sMain, sSignature, sSource, leakySerial, 12);
    w.trace(2, 1, {0x901});

    w.beginSegment();
    w.classDump(cObject, 0, {}, {});
    w.classDump(cClass, cObject, {}, {});
    w.classDump(cString, cObject, {}, {{sValue, kObject}, {sCoder, kByte}});
    w.classDump(cThread, cObject, {}, {{sName, kObject}});
    w.classDump(cReference, cObject, {}, {{sReferent, kObject}, {sNext, kObject}});
    w.classDump(cWeak, cReference, {}, {});
    w.classDump(cBytes, cObject, {}, {});
    w.classDump(cObjects, cObject, {}, {});
    w.classDump(cMap, cObject, {}, {{sTable, kObject}, {sSize, kInt}});
    w.classDump(cNode, cObject, {}, {{sHash, kInt}, {sKey, kObject}, {sValue, kObject}, {sNext, kObject}});
    w.classDump(cNodes, cObject, {}, {});
    w.classDump(cLoader, cObject, {{sAppLoader, kObject, loader}}, {{sClasses, kObject}});
    w.classDump(cLeaky, cObject, {{sSessions, kObject, d.map}, {sGuest, kObject, d.guest}, {sCount, kInt, sessions}}, {},
                loader);
    w.classDump(cSession, cObject, {}, {{sId, kObject}, {sData, kObject}, {sOwner, kObject}}, loader);
    w.classDump(cBase, cObject, {}, {{sX, kInt}}, loader);
    w.classDump(cSub, cBase, {}, {{sY, kLong}}, loader);
    // The VM's own classes are system classes; the program's are reached through their
    // loader, as in a real dump.
    for (const uint64_t system : {cObject, cClass, cString, cThread, cReference, cWeak, cBytes, cObjects, cMap, cNode,
                                  cNodes, cLoader})
        w.rootStickyClass(system);
    w.rootThread(d.thread, 1, 2);
    w.rootJavaFrame(d.locals, 1, 0);
    w.rootJniGlobal(d.weak);
    w.endSegment();

    w.beginSegment();
    w.instance(loader, cLoader, {{kObject, loaded}});
    w.objectArray(loaded, cObjects, {cLeaky, cSession, cBase, cSub});
    w.primitiveArray(guestBytes, kByte, 5, text("guest"));
    w.instance(d.guest, cString, {{kObject, guestBytes}, {kByte, 0}});
    w.primitiveArray(nameBytes, kByte, 4, text("main"));
    w.instance(name, cString, {{kObject, nameBytes}, {kByte, 0}});
    w.instance(d.map, cMap, {{kObject, d.table}, {kInt, sessions}});
    // Node i in slot i + 1, the last one hanging from the one before. Slot 0 names no object.
    std::vector<uint64_t> slots(32, 0);
    slots[0] = d.absent;
    for (unsigned i = 0; i + 1 < sessions; ++i)
        slots[1 + i] = d.nodes[i];
    w.objectArray(d.table, cNodes, slots);
    for (unsigned i = 0; i < sessions; ++i) {
        const std::string key = "s" + std::to_string(i);
        w.primitiveArray(d.keyBytes[i], kByte, static_cast<uint32_t>(key.size()), text(key));
        w.instance(d.keys[i], cString, {{kObject, d.keyBytes[i]}, {kByte, 0}});
        w.primitiveArray(d.data[i], kByte, 100 * (i + 1), std::vector<uint8_t>(100 * (i + 1), static_cast<uint8_t>(i)));
        w.instance(d.sessions[i], cSession, {{kObject, d.keys[i]}, {kObject, d.data[i]}, {kObject, d.guest}});
        const uint64_t chained = i + 2 == sessions ? d.nodes[i + 1] : 0;
        w.instance(d.nodes[i], cNode, {{kInt, i}, {kObject, d.keys[i]}, {kObject, d.sessions[i]}, {kObject, chained}});
    }
    w.endSegment();

    w.beginSegment();
    w.instance(d.thread, cThread, {{kObject, threadNamed ? name : d.absent}});
    w.objectArray(d.locals, cObjects, {d.sub, d.base, d.absent});
    w.instance(d.sub, cSub, {{kLong, 0x123456789}, {kInt, static_cast<uint64_t>(-7) & 0xffffffff}});
    w.instance(d.base, cBase, {{kInt, 42}});
    w.instance(d.weak, cWeak, {{kObject, d.weakly}, {kObject, 0}});
    w.primitiveArray(d.weakly, kByte, 50, std::vector<uint8_t>(50, 1));
    w.primitiveArray(d.garbage, kByte, 10, std::vector<uint8_t>(10, 2));
    w.endSegment();
    w.heapDumpEnd();
    d.bytes = w.bytes();
    return d;
}
