// The reader on hand-built dumps whose graph is known: objects, references and what
// each goes through, weak referents, roots and threads, shallow sizes and the layout
// inferred from the objects' spacing, with 4- and 8-byte identifiers, from memory, a
// pipe and gzip.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <map>
#include <thread>

#include "byte_source.h"
#include "dominators.h"
#include "hprof_error.h"
#include "hprof_format.h"
#include "hprof_writer.h"
#include "sample_dump.h"
#include "snapshot_reader.h"
#include "object_values.h"
#include "string_capture.h"

namespace {

VmLayout compressedOops()
{
    return VmLayout{};
}

VmLayout uncompressedOops()
{
    VmLayout layout;
    layout.compressedOops = false;
    return layout;
}

HeapIndex readBytes(const std::vector<uint8_t>& bytes, const ReadOptions& options = {})
{
    MemorySource source(bytes);
    return readHeapDump(source, options);
}

// The objects `from` refers to, each with the name of what it goes through.
std::vector<std::pair<std::string, uint32_t>> references(const HeapIndex& index, uint32_t from)
{
    std::vector<std::pair<std::string, uint32_t>> out;
    for (const HeapIndex::Reference& r : index.references(from))
        out.emplace_back(index.edgeName(from, r.edge), r.target);
    return out;
}

uint32_t object(const HeapIndex& index, uint64_t address)
{
    const uint32_t number = index.objectAt(address);
    EXPECT_NE(number, kNoObject) << std::hex << address;
    return number;
}

class SampleRead : public ::testing::TestWithParam<unsigned> {};

TEST_P(SampleRead, GraphLabelsRootsAndThreadsAreTheDumps)
{
    const SampleDump d = sampleDump(compressedOops(), GetParam());
    const HeapIndex index = readBytes(d.bytes);
    const uint32_t n1 = object(index, d.n1), n2 = object(index, d.n2), n3 = object(index, d.n3);
    const uint32_t array = object(index, d.array), weak = object(index, d.weak);
    const uint32_t nodeClassObject = object(index, d.nodeClass);

    EXPECT_EQ(index.className(index.classIndexOf(n1)), "App$Node");
    EXPECT_EQ(index.className(index.classIndexOf(array)), "[Ljava.lang.Object;");
    EXPECT_EQ(index.className(index.classIndexOf(nodeClassObject)), "java.lang.Class");
    EXPECT_EQ(index.kind(nodeClassObject), ObjectKind::Class);
    EXPECT_EQ(index.kind(array), ObjectKind::ObjectArray);
    EXPECT_EQ(index.kind(n1), ObjectKind::Instance);
    EXPECT_EQ(index.addressOf(n3), d.n3);

    using Refs = std::vector<std::pair<std::string, uint32_t>>;
    EXPECT_EQ(references(index, n1), (Refs{{"<class>", nodeClassObject}, {"next", n2}, {"label", object(index, d.first)}}));
    EXPECT_EQ(references(index, n2), (Refs{{"<class>", nodeClassObject}, {"next", n3}}));
    // The element naming no object is dropped; the others keep their indexes.
    EXPECT_EQ(references(index, array), (Refs{{"<class>", index.classes[index.classIndexOf(array)].object}, {"[0]", n1}, {"[2]", n3}}));
    EXPECT_EQ(index.summary.droppedReferences, 1u);
    EXPECT_EQ(index.summary.absentObjects, 1u);
    // A class object refers to its superclass and its statics.
    const Refs classRefs = references(index, nodeClassObject);
    EXPECT_NE(std::find(classRefs.begin(), classRefs.end(), std::make_pair(std::string("static label"), n1)), classRefs.end());
    EXPECT_NE(std::find_if(classRefs.begin(), classRefs.end(), [](const auto& r) { return r.first == "<super>"; }),
              classRefs.end());

    // The referent is a weak edge only.
    EXPECT_EQ(index.graph.weakEdges, (std::vector<std::pair<uint32_t, uint32_t>>{{weak, n3}}));
    for (const auto& [name, target] : references(index, weak))
        EXPECT_NE(target, n3) << name;

    // Roots and their kinds; the frame's method comes from the trace records.
    bool global = false, frame = false, systemClass = false;
    for (const HeapRoot& root : index.roots) {
        global = global || (root.kind == RootKind::JniGlobal && root.object == array);
        systemClass = systemClass || (root.kind == RootKind::SystemClass && root.object == nodeClassObject);
        if (root.kind == RootKind::JavaFrame && root.object == n2) {
            ASSERT_LT(root.thread, index.threads.size());
            const ThreadInfo& thread = index.threads[root.thread];
            EXPECT_EQ(index.name(thread.name), "worker");
            ASSERT_LT(static_cast<size_t>(root.frame), thread.frames.size());
            EXPECT_EQ(index.name(thread.frames[root.frame].method), "App$Node.work");
            EXPECT_EQ(thread.frames[root.frame].line, 42);
            frame = true;
        }
    }
    EXPECT_TRUE(global && frame && systemClass);
    EXPECT_TRUE(std::is_sorted(index.graph.roots.begin(), index.graph.roots.end()));
    EXPECT_TRUE(std::binary_search(index.graph.roots.begin(), index.graph.roots.end(), array));

    // Thread names, whether the name came before the thread or after it.
    std::vector<std::string> names;
    for (const ThreadInfo& thread : index.threads)
        names.emplace_back(index.name(thread.name));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"early", "worker"}));
    EXPECT_EQ(index.summary.threadsNamed, 2u);
    EXPECT_EQ(index.threadLabel(0), "worker");

    // CSR well formed.
    ASSERT_EQ(index.graph.firstEdge.size(), index.graph.objects + 1u);
    EXPECT_EQ(index.graph.firstEdge.back(), index.graph.edgeCount());
    EXPECT_TRUE(std::is_sorted(index.graph.firstEdge.begin(), index.graph.firstEdge.end()));
}

INSTANTIATE_TEST_SUITE_P(IdentifierSizes, SampleRead, ::testing::Values(8u, 4u));

TEST(SampleSizes, LayoutIsInferredFromTheSpacingAndGivesTheVmsSizes)
{
    for (const VmLayout& layout : {compressedOops(), uncompressedOops()}) {
        const SampleDump d = sampleDump(layout);
        const HeapIndex index = readBytes(d.bytes);
        EXPECT_EQ(index.summary.layout.compressedOops, layout.compressedOops);
        EXPECT_TRUE(index.summary.layout.compressedClassPointers);
        EXPECT_TRUE(index.summary.layoutInferred);
        EXPECT_EQ(index.graph.shallowSize(object(index, d.n1)), d.nodeBytes);
        EXPECT_EQ(index.graph.shallowSize(object(index, d.array)), d.arrayBytes);
        EXPECT_EQ(index.graph.shallowSize(object(index, d.weak)), d.weakBytes);
        EXPECT_EQ(index.graph.shallowSize(object(index, d.t1)), d.threadBytes);
        EXPECT_EQ(index.summary.sizesCut, 0u);
        // Object[4]: 4 exactly with 8-byte references, 3 or 4 with 4-byte ones; a byte[5]
        // could be 1 to 8 bytes long, by its size alone.
        const auto arrayLength = index.arrayLengthRange(object(index, d.array));
        EXPECT_EQ(arrayLength.second, 4u);
        EXPECT_EQ(arrayLength.first, layout.compressedOops ? 3u : 4u);
        EXPECT_EQ(index.arrayLengthRange(object(index, d.firstBytes)), std::make_pair(uint64_t{1}, uint64_t{8}));
        EXPECT_EQ(index.arrayLengthRange(object(index, d.n1)), std::make_pair(uint64_t{0}, uint64_t{0}));

        // A layout the caller gives is used as it is, even a wrong one.
        ReadOptions options;
        options.layout = layout.compressedOops ? uncompressedOops() : compressedOops();
        const HeapIndex given = readBytes(d.bytes, options);
        EXPECT_FALSE(given.summary.layoutInferred);
        EXPECT_EQ(given.summary.layout.compressedOops, !layout.compressedOops);
    }
}

TEST(SampleHistogram, CountsEveryObjectOnceByClass)
{
    const SampleDump d = sampleDump(compressedOops());
    const HeapIndex index = readBytes(d.bytes);
    uint64_t objects = 0, bytes = 0;
    for (const auto& row : index.histogram()) {
        objects += row.objects;
        bytes += row.bytes;
        if (index.className(row.cls) == "App$Node") {
            EXPECT_EQ(row.objects, 3u);
            EXPECT_EQ(row.bytes, 3u * d.nodeBytes);
        }
    }
    EXPECT_EQ(objects, index.graph.objects);
    uint64_t total = 0;
    for (uint32_t i = 0; i < index.graph.objects; ++i)
        total += index.graph.shallowSize(i);
    EXPECT_EQ(bytes, total);
}

// A long array with elements hundreds of thousands of slots apart names each by its
// own index, however many nulls lie between.
TEST(Labels, ArrayIndexesSurviveLongRunsOfNulls)
{
    HprofWriter w;
    w.utf8(1, "java/lang/Object").utf8(2, "[Ljava/lang/Object;");
    w.loadClass(1, 0x1000, 1).loadClass(2, 0x2000, 2);
    std::vector<uint64_t> elements(300000, 0);
    const std::vector<size_t> used = {0, 1, 254, 255, 256, 600, 70000, 299999};
    for (size_t i = 0; i < used.size(); ++i)
        elements[used[i]] = 0x100000 + 16 * i;
    elements[100] = 0x999990;  // names no object: dropped, its slot carried
    w.beginSegment().classDump(0x1000, 0, {}, {}).classDump(0x2000, 0x1000, {}, {});
    w.objectArray(0x200000, 0x2000, elements);
    for (size_t i = 0; i < used.size(); ++i)
        w.instance(0x100000 + 16 * i, 0x1000, {});
    w.endSegment().heapDumpEnd();
    const HeapIndex index = readBytes(w.bytes());
    const uint32_t array = index.objectAt(0x200000);
    const auto refs = references(index, array);
    ASSERT_EQ(refs.size(), used.size() + 1);
    for (size_t i = 0; i < used.size(); ++i) {
        EXPECT_EQ(refs[i + 1].first, "[" + std::to_string(used[i]) + "]");
        EXPECT_EQ(refs[i + 1].second, index.objectAt(0x100000 + 16 * i));
        const HeapIndex::EdgeLabel label = index.edgeLabel(array, index.references(array)[i + 1].edge);
        EXPECT_EQ(label.kind, HeapIndex::EdgeLabel::Element);
        EXPECT_EQ(label.index, used[i]);
    }
}

// A thread whose name the dump wrote long before the thread (a graph walk that reached
// the String by another way first): one pass over a stream cannot name it, a file is
// looked up again.
TEST(Strings, ThreadNamesFarBeforeTheirThreadsAreFoundInAFile)
{
    HprofWriter w;
    w.utf8(1, "java/lang/Object").utf8(2, "java/lang/String").utf8(3, "java/lang/Thread").utf8(4, "value");
    w.utf8(5, "coder").utf8(6, "name");
    w.loadClass(1, 0x1000, 1).loadClass(2, 0x2000, 2).loadClass(3, 0x3000, 3);
    w.trace(2, 1, {});
    w.beginSegment().rootThread(0x900000, 1, 2).classDump(0x1000, 0, {}, {});
    w.classDump(0x2000, 0x1000, {}, {{4, 2}, {5, 8}}).classDump(0x3000, 0x1000, {}, {{6, 2}});
    const std::string name = "far-away worker";
    w.primitiveArray(0x100000, 8, static_cast<uint32_t>(name.size()), std::vector<uint8_t>(name.begin(), name.end()));
    w.instance(0x100100, 0x2000, {{2, 0x100000}, {8, 0}});
    // A thousand Strings and their bytes between the name and its thread.
    for (uint64_t i = 0; i < 1000; ++i) {
        w.primitiveArray(0x200000 + i * 64, 8, 3, {'a', 'b', 'c'});
        w.instance(0x200020 + i * 64, 0x2000, {{2, 0x200000 + i * 64}, {8, 0}});
    }
    w.instance(0x900000, 0x3000, {{2, 0x100100}});
    w.endSegment().heapDumpEnd();

    const HeapIndex streamed = readBytes(w.bytes());
    ASSERT_EQ(streamed.threads.size(), 1u);
    EXPECT_EQ(streamed.summary.threadsNamed, 0u);

    char path[] = "/tmp/vorlan-names-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, w.bytes().data(), w.size()), static_cast<ssize_t>(w.size()));
    close(fd);
    const HeapIndex fromFile = readHeapDumpFile(path);
    unlink(path);
    ASSERT_EQ(fromFile.threads.size(), 1u);
    EXPECT_EQ(fromFile.summary.threadsNamed, 1u);
    EXPECT_EQ(fromFile.threadLabel(0), name);
}

// The space after each object corrects a class the layout model gets wrong when the
// dump walked the heap in address order; when it walked the object graph (ZGC,
// Shenandoah), dead objects sit in those spaces, and only @Contended padding is taken.
TEST(SampleSizes, SpacingCorrectsTheModelOnlyWhereItCan)
{
    // Fenced and Crowded each declare one int: 16 bytes by the model. Fenced instances
    // have 256 bytes more after them (the padding around a @Contended field), Crowded
    // ones 24 bytes more (a dead 24-byte object after each, or a field the model misses).
    constexpr uint64_t kFenced = 16 + 256, kCrowded = 16 + 24;
    std::vector<std::pair<uint64_t, uint64_t>> objects;  // (address, class)
    uint64_t at = 0x100000;
    for (int i = 0; i < 4; ++i) {
        objects.emplace_back(at, 0x2000);
        at += kFenced;
        objects.emplace_back(at, 0x3000);
        at += kCrowded;
    }
    for (bool graphOrder : {false, true}) {
        HprofWriter w;
        w.utf8(1, "java/lang/Object").utf8(2, "Fenced").utf8(3, "Crowded").utf8(4, "value");
        w.loadClass(1, 0x1000, 1).loadClass(2, 0x2000, 2).loadClass(3, 0x3000, 3);
        w.beginSegment().classDump(0x1000, 0, {}, {}).classDump(0x2000, 0x1000, {}, {{4, 10}});
        w.classDump(0x3000, 0x1000, {}, {{4, 10}});
        std::vector<std::pair<uint64_t, uint64_t>> written = objects;
        if (graphOrder)
            std::reverse(written.begin(), written.end());
        for (const auto& [address, cls] : written)
            w.instance(address, cls, {{10, 7}});
        w.endSegment().heapDumpEnd();
        ReadOptions options;
        options.layout = compressedOops();
        const HeapIndex index = readBytes(w.bytes(), options);
        EXPECT_EQ(index.graph.shallowSize(object(index, objects[0].first)), kFenced) << graphOrder;
        EXPECT_EQ(index.graph.shallowSize(object(index, objects[1].first)), graphOrder ? 16u : kCrowded) << graphOrder;
    }
}

// A heap whose references name more than 32768 different megabytes (32 GiB of
// addresses): references to objects in every part of it resolve, those to nothing are
// dropped and counted, and the graph's dominators follow.
TEST(WideHeap, ReferencesPast32GiBResolve)
{
    constexpr uint64_t kBase = 0x800000000ull;
    auto at = [](uint32_t megabyte) { return kBase + (uint64_t{megabyte} << 20) + 16; };
    HprofWriter w;
    w.utf8(1, "java/lang/Object").utf8(2, "[Ljava/lang/Object;").utf8(3, "Item").utf8(4, "next");
    w.loadClass(1, 0x1000, 1).loadClass(2, 0x2000, 2).loadClass(3, 0x3000, 3);
    std::vector<uint64_t> elements;
    for (uint32_t m = 0; m < 40000; ++m)
        elements.push_back(at(m));
    w.beginSegment().rootJniGlobal(0x10000000).classDump(0x1000, 0, {}, {}).classDump(0x2000, 0x1000, {}, {});
    w.classDump(0x3000, 0x1000, {}, {{4, 2}});
    w.objectArray(0x10000000, 0x2000, elements);
    w.instance(at(5), 0x3000, {{2, 0}});
    w.instance(at(32767), 0x3000, {{2, at(39999)}});
    w.objectArray(at(39998), 0x2000, {at(5), at(39999), at(45000)});
    w.instance(at(39999), 0x3000, {{2, at(5)}});
    w.endSegment().heapDumpEnd();

    const HeapIndex index = readBytes(w.bytes());
    const uint32_t top = object(index, 0x10000000), low = object(index, at(5)), mid = object(index, at(32767));
    const uint32_t array = object(index, at(39998)), high = object(index, at(39999));
    for (const auto& [number, address] : {std::pair{low, at(5)}, {mid, at(32767)}, {array, at(39998)}, {high, at(39999)}})
        EXPECT_EQ(index.addressOf(number), address);
    using Refs = std::vector<std::pair<std::string, uint32_t>>;
    const uint32_t arrayClass = index.classes[index.classIndexOf(top)].object;
    const uint32_t itemClass = index.classes[index.classIndexOf(low)].object;
    EXPECT_EQ(references(index, top), (Refs{{"<class>", arrayClass}, {"[5]", low}, {"[32767]", mid}, {"[39998]", array}, {"[39999]", high}}));
    EXPECT_EQ(references(index, mid), (Refs{{"<class>", itemClass}, {"next", high}}));
    EXPECT_EQ(references(index, array), (Refs{{"<class>", arrayClass}, {"[0]", low}, {"[1]", high}}));
    EXPECT_EQ(references(index, high), (Refs{{"<class>", itemClass}, {"next", low}}));
    EXPECT_EQ(index.summary.droppedReferences, 40000u - 4 + 1);
    EXPECT_EQ(index.summary.absentObjects, 40000u - 4 + 1);

    const Dominators dominators = computeDominators(index.graph);
    EXPECT_EQ(dominators.idom[high], top);
    EXPECT_EQ(dominators.idom[low], top);
    EXPECT_EQ(dominators.idom[array], top);
}

// A field a subclass hides keeps the declaring class in its name.
TEST(Labels, HiddenFieldsAreNamedByTheirClass)
{
    HprofWriter w;
    w.utf8(1, "java/lang/Object").utf8(2, "Base").utf8(3, "Sub").utf8(4, "tag");
    w.loadClass(1, 0x1000, 1).loadClass(2, 0x2000, 2).loadClass(3, 0x3000, 3);
    w.beginSegment().classDump(0x1000, 0, {}, {}).classDump(0x2000, 0x1000, {}, {{4, 2}}).classDump(0x3000, 0x2000, {}, {{4, 2}});
    w.instance(0x100000, 0x3000, {{2, 0x100010}, {2, 0x100020}});
    w.instance(0x100010, 0x1000, {}).instance(0x100020, 0x1000, {});
    w.endSegment().heapDumpEnd();
    const HeapIndex index = readBytes(w.bytes());
    const auto refs = references(index, index.objectAt(0x100000));
    ASSERT_EQ(refs.size(), 3u);
    EXPECT_EQ(refs[1].first, "tag");
    EXPECT_EQ(refs[2].first, "Base.tag");
}

TEST(Sources, PipeAndGzipGiveWhatMemoryGives)
{
    const SampleDump d = sampleDump(compressedOops());
    const HeapIndex plain = readBytes(d.bytes);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
        // Small writes, so the reader sees records cut at every kind of boundary.
        for (size_t at = 0; at < d.bytes.size(); at += 7) {
            const size_t n = std::min<size_t>(7, d.bytes.size() - at);
            ASSERT_EQ(write(fds[1], d.bytes.data() + at, n), static_cast<ssize_t>(n));
        }
        close(fds[1]);
    });
    auto stream = openDumpStream(std::make_unique<FdSource>(fds[0]));
    // Read as a live capture reads, with memory warmed for the analysis beside it.
    ReadOptions warming;
    warming.warmAhead = true;
    warming.warmWhen = [] { return true; };
    const HeapIndex piped = readHeapDump(*stream, warming);
    writer.join();
    close(fds[0]);

    const std::vector<uint8_t> gz = gzipMembers(d.bytes, 333);
    auto gzStream = openDumpStream(std::make_unique<MemorySource>(gz));
    const HeapIndex inflated = readHeapDump(*gzStream);

    for (const HeapIndex* other : {&piped, &inflated}) {
        EXPECT_EQ(other->graph.targets, plain.graph.targets);
        EXPECT_EQ(other->graph.firstEdge, plain.graph.firstEdge);
        EXPECT_EQ(other->graph.sizeUnits, plain.graph.sizeUnits);
        EXPECT_EQ(other->graph.roots, plain.graph.roots);
        EXPECT_EQ(other->summary.dumpBytes, d.bytes.size());
    }
}

TEST(Sources, BrokenGzipIsOneErrorNamingTheByte)
{
    const SampleDump d = sampleDump(compressedOops());
    std::vector<uint8_t> gz = gzipMembers(d.bytes, 500);
    std::vector<uint8_t> cut(gz.begin(), gz.begin() + static_cast<std::ptrdiff_t>(gz.size() - 9));
    auto truncated = openDumpStream(std::make_unique<MemorySource>(cut));
    EXPECT_THROW(readHeapDump(*truncated), HprofError);
    // The same with memory warmed beside the read: the error comes out, the thread ends.
    ReadOptions warming;
    warming.warmAhead = true;
    auto truncatedAgain = openDumpStream(std::make_unique<MemorySource>(cut));
    EXPECT_THROW(readHeapDump(*truncatedAgain, warming), HprofError);

    gz[gz.size() / 2] ^= 0x5A;
    gz[gz.size() / 2 + 1] ^= 0xA5;
    auto corrupt = openDumpStream(std::make_unique<MemorySource>(gz));
    try {
        readHeapDump(*corrupt);
        ADD_FAILURE() << "a corrupt gzip stream was read";
    } catch (const HprofError& e) {
        EXPECT_NE(std::string(e.what()).find("at byte"), std::string::npos) << e.what();
    }
}

TEST(Progress, PhasesComeInOrderWithTheBytesRead)
{
    const SampleDump d = sampleDump(compressedOops());
    std::vector<ReadProgress> seen;
    ReadOptions options;
    options.progress = [&](const ReadProgress& p) { seen.push_back(p); };
    options.progressEveryBytes = 64;
    readBytes(d.bytes, options);
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen.front().phase, ReadPhase::Reading);
    EXPECT_EQ(seen.back().phase, ReadPhase::Done);
    EXPECT_EQ(seen.back().dumpBytes, d.bytes.size());
    for (size_t i = 1; i < seen.size(); ++i) {
        EXPECT_LE(seen[i - 1].phase, seen[i].phase);
        EXPECT_LE(seen[i - 1].dumpBytes, seen[i].dumpBytes);
        EXPECT_LE(seen[i - 1].objects, seen[i].objects);
    }
    EXPECT_GT(std::count_if(seen.begin(), seen.end(), [](const ReadProgress& p) { return p.phase == ReadPhase::Reading; }), 2);
}

}  // namespace

namespace {

// A String's value as the VM keeps it: Latin-1 bytes, or UTF-16 in little-endian order
// with surrogate pairs.
TEST(Strings, ValuesDecodeToUtf8)
{
    const std::vector<uint8_t> latin1 = {'c', 'a', 'f', 0xE9};
    EXPECT_EQ(decodeJavaString(latin1.data(), 4, 0), "caf\xC3\xA9");
    // "Ω" U+03A9 and "😀" U+1F600 (D83D DE00), little-endian.
    const std::vector<uint8_t> utf16 = {0xA9, 0x03, 0x3D, 0xD8, 0x00, 0xDE};
    EXPECT_EQ(decodeJavaString(utf16.data(), 6, 1), "\xCE\xA9\xF0\x9F\x98\x80");
    // An odd byte out is dropped, not read past.
    EXPECT_EQ(decodeJavaString(utf16.data(), 3, 1), "\xCE\xA9");
}

}  // namespace

namespace {

// What the index does not keep, read again for a few objects: an instance's fields with
// their values, an array's exact length and elements; an address no object has is
// reported not found, and a long array is cut where asked.
TEST(ObjectValuesReadAgain, FieldsAndElementsOfTheObjectsAskedFor)
{
    const SampleDump d = sampleDump(VmLayout{});
    const HeapIndex index = readBytes(d.bytes);
    MemorySource source(d.bytes);
    const auto values = readObjectValues(source, {d.n1, d.firstBytes, d.array, d.absent, d.n1, d.nodeClass}, 3);
    ASSERT_EQ(values.size(), 6u);
    EXPECT_TRUE(values[0].found && values[1].found && values[2].found && values[5].found);
    EXPECT_FALSE(values[3].found);
    EXPECT_EQ(values[4].address, d.n1);
    EXPECT_EQ(values[5].kind, ObjectValues::Class);

    std::map<std::string, uint64_t> fields;
    for (const FieldValue& f : fieldValues(index, index.objectAt(d.n1), values[0]))
        fields[std::string(index.name(f.field.field.name))] = f.bits;
    EXPECT_EQ(fields, (std::map<std::string, uint64_t>{{"next", d.n2}, {"number", 1}, {"label", d.first}}));

    EXPECT_EQ(values[1].kind, ObjectValues::PrimitiveArray);
    EXPECT_EQ(values[1].length, 5u);
    EXPECT_EQ(values[1].bytes, (std::vector<uint8_t>{'f', 'i', 'r'}));
    EXPECT_TRUE(values[1].cut);
    EXPECT_EQ(values[2].kind, ObjectValues::ObjectArray);
    EXPECT_EQ(values[2].length, 4u);
}

}  // namespace
