// Heap dumps of real JVMs (the JDK named by VORLAN_TEST_JAVA, else the build's) of
// SnapshotTarget, whose graph is known: classes and statics, a chain of references
// with its fields and array indexes, roots of each kind the target provokes, weak
// referents, and shallow sizes equal to jcmd GC.class_histogram's for the same heap,
// with compressed oops on and off, from a gzip dump, and from the collectors that dump
// the heap as they walk the object graph.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "hprof_error.h"
#include "jvm_process.h"
#include "object_values.h"
#include "snapshot_reader.h"

namespace {

std::string javaBinary()
{
    const char* java = getenv("VORLAN_TEST_JAVA");
    return java && *java ? java : VORLAN_JAVA;
}

std::string jcmdBinary()
{
    return (std::filesystem::path(javaBinary()).parent_path() / "jcmd").string();
}

int javaFeature()
{
    const CommandResult r = run_command({javaBinary(), "-version"});
    std::smatch m;
    const std::string text = r.err;
    if (std::regex_search(text, m, std::regex("version \"(\\d+)")))
        return std::stoi(m[1]);
    return 0;
}

struct Row {
    uint64_t objects = 0, bytes = 0;
    bool operator==(const Row& o) const { return objects == o.objects && bytes == o.bytes; }
};
using Histogram = std::map<std::string, Row>;

Histogram jcmdHistogram(pid_t pid)
{
    const CommandResult r = run_command({jcmdBinary(), std::to_string(pid), "GC.class_histogram"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    Histogram h;
    std::istringstream lines(r.out);
    std::string line;
    const std::regex row("^\\s*\\d+:\\s+(\\d+)\\s+(\\d+)\\s+(\\S+)");
    std::smatch m;
    while (std::getline(lines, line)) {
        if (std::regex_search(line, m, row))
            h[m[3]] = {std::stoull(m[1]), std::stoull(m[2])};
    }
    EXPECT_GT(h.size(), 100u) << r.out;
    return h;
}

Histogram indexHistogram(const HeapIndex& index)
{
    Histogram h;
    for (const auto& row : index.histogram())
        h[std::string(index.className(row.cls))] = {row.objects, row.bytes};
    return h;
}

struct Dump {
    HeapIndex index;
    Histogram before, after;  // jcmd's, right before and after the dump
};

void expectValues(const HeapIndex& index, const std::string& file);

// Starts SnapshotTarget with the flags, takes a histogram, a dump and a histogram.
Dump dumpTarget(const std::vector<std::string>& flags, bool gzip, std::vector<std::string> args = {})
{
    JvmLaunch launch;
    launch.load_agent = false;
    launch.main_class = "SnapshotTarget";
    launch.program_args = std::move(args);
    launch.jvm_flags = {"-Xmx128m"};
    launch.jvm_flags.insert(launch.jvm_flags.end(), flags.begin(), flags.end());
    JvmProcess jvm(launch);
    EXPECT_TRUE(jvm.wait_for_output("ready")) << jvm.err();
    char dir[] = "/tmp/vorlan-snapshot-XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + (gzip ? "/heap.hprof.gz" : "/heap.hprof");
    Dump dump;
    dump.before = jcmdHistogram(jvm.pid());
    std::vector<std::string> command = {jcmdBinary(), std::to_string(jvm.pid()), "GC.heap_dump"};
    if (gzip)
        command.push_back("-gz=1");
    command.push_back(file);
    const CommandResult r = run_command(command);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    dump.after = jcmdHistogram(jvm.pid());
    try {
        dump.index = readHeapDumpFile(file);
        expectValues(dump.index, file);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "reading " << file << ": " << e.what();
    }
    std::filesystem::remove_all(dir);
    return dump;
}

// Every class whose count and bytes jcmd gave alike before and after the dump must have
// the same in the index. Two differences have known causes, and are checked as such:
// with class data sharing, the dump leaves out the class objects of archived classes
// never loaded (the references to them are the index's absent objects), and JDK 21 on
// names the arrays that fill dead space jdk.internal.vm.FillerElement[] where the dump
// writes them as int[].
void expectHistogramsEqual(const Dump& dump)
{
    const Histogram ours = indexHistogram(dump.index);
    std::set<std::string> names;
    for (const auto& [name, row] : dump.before)
        names.insert(name);
    for (const auto& [name, row] : ours)
        names.insert(name);
    const std::string filler = "[Ljdk.internal.vm.FillerElement;";
    auto get = [](const Histogram& h, const std::string& name) {
        auto found = h.find(name);
        return found == h.end() ? Row{} : found->second;
    };
    size_t compared = 0;
    std::ostringstream differing;
    for (const std::string& name : names) {
        const Row before = get(dump.before, name), after = get(dump.after, name), mine = get(ours, name);
        if (!(before == after) || name == filler)
            continue;  // the jcmd calls themselves changed it
        Row expected = before;
        if (name == "[I") {
            const Row fillers = get(dump.before, filler);
            expected.objects += fillers.objects;
            expected.bytes += fillers.bytes;
        }
        if (name == "java.lang.Class") {
            EXPECT_EQ(mine.objects + dump.index.summary.absentObjects, expected.objects)
                << "class objects in the dump and left out of it";
            EXPECT_LE(mine.bytes, expected.bytes);
            ++compared;
            continue;
        }
        ++compared;
        if (!(mine == expected))
            differing << "  " << name << ": ours " << mine.objects << " / " << mine.bytes << " B, jcmd "
                      << expected.objects << " / " << expected.bytes << " B\n";
    }
    EXPECT_TRUE(differing.str().empty()) << "classes whose histogram differs from jcmd's:\n" << differing.str();
    EXPECT_GT(compared, names.size() * 9 / 10) << "too few classes stayed still between the jcmd calls";
    for (const char* shape : {"Mixed", "Derived", "DerivedAgain", "Hider", "Marker", "Node", "[J", "[Z"})
        EXPECT_TRUE(ours.count(shape)) << shape;
}

// The target of `from`'s reference named `edge`.
uint32_t follow(const HeapIndex& index, uint32_t from, const std::string& edge)
{
    for (const HeapIndex::Reference& r : index.references(from)) {
        if (index.edgeName(from, r.edge) == edge)
            return r.target;
    }
    ADD_FAILURE() << index.className(index.classIndexOf(from)) << " has no reference " << edge;
    return kNoObject;
}

uint32_t staticObject(const HeapIndex& index, const std::string& cls, const std::string& field)
{
    const uint32_t c = index.classNamed(cls);
    EXPECT_NE(c, kNoClass) << cls;
    if (c == kNoClass)
        return kNoObject;
    for (const StaticField& s : index.classes[c].statics) {
        if (index.name(s.name) == field)
            return index.objectAt(s.value);
    }
    ADD_FAILURE() << cls << " has no static " << field;
    return kNoObject;
}

void expectKnownGraph(const HeapIndex& index, bool softKept = true)
{
    // SnapshotTarget.holder.items.elementData[2].next.payload: an int[7].
    const uint32_t holder = staticObject(index, "SnapshotTarget", "holder");
    ASSERT_NE(holder, kNoObject);
    EXPECT_EQ(index.className(index.classIndexOf(holder)), "Holder");
    const uint32_t items = follow(index, holder, "items");
    EXPECT_EQ(index.className(index.classIndexOf(items)), "java.util.ArrayList");
    const uint32_t data = follow(index, items, "elementData");
    EXPECT_EQ(index.kind(data), ObjectKind::ObjectArray);
    const uint32_t n2 = follow(index, data, "[2]");
    const uint32_t n3 = follow(index, n2, "next");
    EXPECT_EQ(follow(index, follow(index, data, "[3]"), "<class>"), follow(index, n3, "<class>"));
    const uint32_t payload = follow(index, n3, "payload");
    EXPECT_EQ(index.className(index.classIndexOf(payload)), "[I");
    EXPECT_EQ(index.graph.shallowSize(payload), index.summary.layout.arraySize(4, 7));
    const auto length = index.arrayLengthRange(payload);
    EXPECT_LE(length.first, 7u);
    EXPECT_GE(length.second, 7u);
    EXPECT_EQ(index.className(index.classIndexOf(follow(index, n2, "name"))), "java.lang.String");
    EXPECT_EQ(follow(index, holder, "<class>"), index.classes[index.classNamed("Holder")].object);

    // Classes: declared fields with their types (in the VM's order, which is not the
    // source's), statics with their values.
    const ClassInfo& mixed = index.classes[index.classNamed("Mixed")];
    std::set<std::string> fields;
    for (const FieldDecl& f : mixed.fields)
        fields.insert(std::string(index.name(f.name)) + ":" + std::to_string(f.type));
    EXPECT_EQ(fields, (std::set<std::string>{"l:11", "b:8", "r:2", "i:10", "s:9", "z:4", "c:5", "d:7", "f:6"}));
    EXPECT_EQ(index.className(mixed.super), "java.lang.Object");
    const ClassInfo& statics = index.classes[index.classNamed("Statics")];
    std::map<std::string, uint64_t> values;
    for (const StaticField& s : statics.statics)
        values[std::string(index.name(s.name))] = s.value;
    EXPECT_EQ(values["si"], 4u);
    EXPECT_EQ(values["sl"], 5u);
    EXPECT_EQ(values["sc"], uint64_t{'c'});
    EXPECT_EQ(index.className(index.classIndexOf(index.objectAt(values["so"]))), "java.lang.String");
    // A field its subclass hides is named by the class that declares it.
    const uint32_t hider = index.classNamed("Hider");
    ASSERT_EQ(index.instanceFields(hider).size(), 3u);
    uint32_t hiderObject = kNoObject;
    for (uint32_t i = 0; i < index.graph.objects && hiderObject == kNoObject; ++i) {
        if (index.classIndexOf(i) == hider)
            hiderObject = i;
    }
    ASSERT_NE(hiderObject, kNoObject);
    EXPECT_NE(follow(index, hiderObject, "tag"), follow(index, hiderObject, "Hidden.tag"));

    // Roots: the JNI global and the frame each hold a Marker and nothing else does; the
    // worker thread is a root with its name; system classes are roots.
    const uint32_t marker = index.classNamed("Marker");
    std::vector<uint32_t> inDegree(index.graph.objects, 0);
    for (uint32_t t : index.graph.targets)
        ++inDegree[t];
    bool pinned = false, inFrame = false, inNative = false, worker = false, systemClass = false;
    for (const HeapRoot& root : index.roots) {
        if (root.kind == RootKind::JniGlobal && index.classIndexOf(root.object) == marker) {
            pinned = true;
            EXPECT_EQ(inDegree[root.object], 0u);
        }
        if (root.kind == RootKind::JavaFrame && index.classIndexOf(root.object) == marker) {
            ASSERT_LT(root.thread, index.threads.size());
            const ThreadInfo& thread = index.threads[root.thread];
            EXPECT_EQ(index.name(thread.name), "snapshot-worker-7");
            ASSERT_LT(static_cast<size_t>(root.frame), thread.frames.size());
            EXPECT_EQ(index.name(thread.frames[root.frame].method), "SnapshotTarget.workerBody");
            EXPECT_EQ(inDegree[root.object], 0u);
            inFrame = true;
        }
        if (root.kind == RootKind::JniLocal && index.classIndexOf(root.object) == marker) {
            ASSERT_LT(root.thread, index.threads.size());
            EXPECT_EQ(index.name(index.threads[root.thread].name), "snapshot-native");
            EXPECT_EQ(root.frame, 0);
            EXPECT_EQ(inDegree[root.object], 0u);
            inNative = true;
        }
        if (root.kind == RootKind::Thread && root.thread < index.threads.size() &&
            index.name(index.threads[root.thread].name) == "snapshot-worker-7") {
            worker = true;
            EXPECT_EQ(index.className(index.classIndexOf(root.object)), "java.lang.Thread");
        }
        systemClass = systemClass || (root.kind == RootKind::SystemClass &&
                                      index.classRepresented(root.object) == index.classNamed("java.lang.String"));
    }
    EXPECT_TRUE(pinned && inFrame && inNative && worker && systemClass)
        << pinned << inFrame << inNative << worker << systemClass;
    // One pass reads a name when the stream brings the thread before its name's bytes or
    // shortly after them; JDK 22 on writes the heap in parallel segments, and a literal
    // name in the shared archive can come long before its thread: from a file, those are
    // looked up again, so every name is found.
    EXPECT_EQ(index.summary.threadsNamed, index.summary.threads);
    std::cout << "thread names read: " << index.summary.threadsNamed << " of " << index.summary.threads << "\n";

    // A referent is a weak edge, never a strong one: the soft reference's marker has no
    // strong reference at all, the weak reference's has the static that keeps it.
    for (const char* field : {"weak", "soft"}) {
        const uint32_t ref = staticObject(index, "SnapshotTarget", field);
        ASSERT_NE(ref, kNoObject);
        uint32_t referent = kNoObject;
        for (const auto& [holder, target] : index.graph.weakEdges) {
            if (holder == ref)
                referent = target;
        }
        if (!softKept && std::string(field) == "soft" && referent == kNoObject)
            continue;  // the collector cleared it in the collection before the dump
        ASSERT_NE(referent, kNoObject) << field;
        EXPECT_EQ(index.classIndexOf(referent), marker);
        EXPECT_TRUE(index.edgesBetween(ref, referent).empty()) << field;
        EXPECT_EQ(inDegree[referent], std::string(field) == "weak" ? 1u : 0u) << field;
    }
}

// Values read again from the file: a Mixed's fields as the constructor set them, and
// the exact length of the chain's int[7].
void expectValues(const HeapIndex& index, const std::string& file)
{
    const uint32_t mixed = index.classNamed("Mixed");
    uint32_t instance = kNoObject;
    for (uint32_t i = 0; i < index.graph.objects && instance == kNoObject; ++i) {
        if (index.classIndexOf(i) == mixed)
            instance = i;
    }
    ASSERT_NE(instance, kNoObject);
    const uint32_t holder = staticObject(index, "SnapshotTarget", "holder");
    const uint32_t data = follow(index, follow(index, holder, "items"), "elementData");
    const uint32_t payload = follow(index, follow(index, follow(index, data, "[2]"), "next"), "payload");
    const auto values = readObjectValuesFile(file, {index.addressOf(instance), index.addressOf(payload)});
    ASSERT_TRUE(values[0].found && values[1].found);
    std::map<std::string, uint64_t> fields;
    for (const FieldValue& f : fieldValues(index, instance, values[0]))
        fields[std::string(index.name(f.field.field.name))] = f.bits;
    EXPECT_EQ(fields["l"], 1u);
    EXPECT_EQ(fields["b"], 2u);
    EXPECT_EQ(fields["i"], 3u);
    EXPECT_EQ(fields["s"], 4u);
    EXPECT_EQ(fields["z"], 1u);
    EXPECT_EQ(fields["c"], uint64_t{'m'});
    EXPECT_EQ(fields["d"], 0x4014000000000000u);  // 5.0
    EXPECT_EQ(fields["f"], 0x40c00000u);          // 6.0f
    EXPECT_EQ(index.className(index.classIndexOf(index.objectAt(fields["r"]))), "java.lang.String");
    EXPECT_EQ(values[1].length, 7u);
}

class JvmDump : public ::testing::Test {
protected:
    static void SetUpTestSuite() { feature_ = javaFeature(); }
    static int feature_;
};
int JvmDump::feature_ = 0;

TEST_F(JvmDump, DefaultSettings)
{
    const Dump dump = dumpTarget({}, false);
    EXPECT_EQ(dump.index.summary.javaFeature, feature_);
    EXPECT_TRUE(dump.index.summary.layout.compressedOops);
    EXPECT_TRUE(dump.index.summary.layout.compressedClassPointers);
    EXPECT_EQ(dump.index.summary.layout.arraysAlignedByElement, feature_ >= 22);
    expectKnownGraph(dump.index);
    expectHistogramsEqual(dump);
}

TEST_F(JvmDump, UncompressedOops)
{
    const Dump dump = dumpTarget({"-XX:-UseCompressedOops"}, false);
    EXPECT_FALSE(dump.index.summary.layout.compressedOops);
    expectKnownGraph(dump.index);
    expectHistogramsEqual(dump);
}

TEST_F(JvmDump, GzipDump)
{
    const Dump dump = dumpTarget({}, true);
    EXPECT_TRUE(dump.index.summary.layout.compressedOops);
    expectKnownGraph(dump.index);
    expectHistogramsEqual(dump);
}

// ZGC and Shenandoah dump objects in the order a walk of the object graph finds them,
// with dead ones between the live: the sizes stay the VM's all the same.
TEST_F(JvmDump, CollectorsThatWalkTheGraph)
{
    for (const char* collector : {"-XX:+UseZGC", "-XX:+UseShenandoahGC"}) {
        if (run_command({javaBinary(), collector, "-version"}).status != 0) {
            std::cout << "this JDK has no " << collector << "\n";
            continue;
        }
        SCOPED_TRACE(collector);
        const Dump dump = dumpTarget({collector}, false);
        expectKnownGraph(dump.index, false);
        expectHistogramsEqual(dump);
    }
}

// A parked virtual thread's frames live in StackChunk objects as long as its stack: each
// chunk's size is its own, as the VM counts it.
TEST_F(JvmDump, VirtualThreadStacks)
{
    if (feature_ < 21)
        GTEST_SKIP() << "virtual threads are there from JDK 21";
    for (const char* headers : {"-XX:+UseCompressedOops", "-XX:-UseCompressedOops"}) {
        SCOPED_TRACE(headers);
        const Dump dump = dumpTarget({headers}, false, {"virtual"});
        const uint32_t chunk = dump.index.classNamed("jdk.internal.vm.StackChunk");
        ASSERT_NE(chunk, kNoClass);
        std::set<uint64_t> sizes;
        for (uint32_t o = 0; o < dump.index.graph.objects; ++o) {
            if (dump.index.classIndexOf(o) == chunk)
                sizes.insert(dump.index.graph.shallowSize(o));
        }
        EXPECT_GE(sizes.size(), 10u) << "stack chunks of as many sizes as depths";
        expectHistogramsEqual(dump);
    }
}

TEST_F(JvmDump, CompactObjectHeaders)
{
    if (feature_ < 25)
        GTEST_SKIP() << "compact object headers are a product option from JDK 25";
    const Dump dump = dumpTarget({"-XX:+UseCompactObjectHeaders"}, false);
    EXPECT_TRUE(dump.index.summary.layout.compactHeaders);
    expectKnownGraph(dump.index);
    expectHistogramsEqual(dump);
}

}  // namespace
