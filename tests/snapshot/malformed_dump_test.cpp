// Truncated, corrupted and hostile dumps: each is one HprofError naming the byte where
// it goes wrong, and none crashes, hangs or takes memory its size does not justify.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "byte_source.h"
#include "hprof_error.h"
#include "hprof_writer.h"
#include "sample_dump.h"
#include "snapshot_reader.h"

namespace {

// The error reading bytes gives, or "" if they read fine.
std::string readError(const std::vector<uint8_t>& bytes, uint64_t* offset = nullptr)
{
    try {
        MemorySource source(bytes);
        readHeapDump(source);
    } catch (const HprofError& e) {
        if (offset)
            *offset = e.offset();
        EXPECT_NE(std::string(e.what()).find(" at byte " + std::to_string(e.offset())), std::string::npos) << e.what();
        return e.what();
    }
    return "";
}

::testing::AssertionResult failsWith(const std::vector<uint8_t>& bytes, const std::string& what, uint64_t at)
{
    uint64_t offset = 0;
    const std::string error = readError(bytes, &offset);
    if (error.find(what) == std::string::npos)
        return ::testing::AssertionFailure() << "expected \"" << what << "\", got \"" << error << "\"";
    if (offset != at)
        return ::testing::AssertionFailure() << "\"" << error << "\" at " << offset << ", expected at " << at;
    return ::testing::AssertionSuccess();
}

// A dump with classes java.lang.Object (0x1000) and Item (0x2000, one reference field).
HprofWriter itemDump()
{
    HprofWriter w;
    w.utf8(1, "java/lang/Object").utf8(2, "Item").utf8(3, "next");
    w.loadClass(1, 0x1000, 1).loadClass(2, 0x2000, 2);
    return w;
}

constexpr size_t kHeader = 19 + 4 + 8;  // "JAVA PROFILE 1.0.2\0", identifier size, time

TEST(Malformed, EveryTruncationIsAnError)
{
    const SampleDump d = sampleDump(VmLayout{});
    ASSERT_EQ(readError(d.bytes), "");
    for (size_t n = 0; n < d.bytes.size(); ++n) {
        const std::vector<uint8_t> cut(d.bytes.begin(), d.bytes.begin() + static_cast<std::ptrdiff_t>(n));
        uint64_t offset = UINT64_MAX;
        const std::string error = readError(cut, &offset);
        ASSERT_FALSE(error.empty()) << "a dump cut to " << n << " bytes was read";
        EXPECT_LE(offset, n) << error;
    }
}

TEST(Malformed, HeaderAndFraming)
{
    EXPECT_TRUE(failsWith({}, "empty stream", 0));
    const std::string text = "this is not a heap dump at all, just text";
    EXPECT_TRUE(failsWith(std::vector<uint8_t>(text.begin(), text.end()), "not a heap dump", 0));
    EXPECT_TRUE(failsWith(HprofWriter(8, "JAVA PROFILE 9.9.9").bytes(), "not a heap dump", 0));
    for (unsigned size : {0u, 2u, 5u, 16u}) {
        HprofWriter w(8);
        std::vector<uint8_t> bytes = w.bytes();
        bytes[19 + 3] = static_cast<uint8_t>(size);
        EXPECT_TRUE(failsWith(bytes, "bad identifier size", 19)) << size;
    }
    // Records: an unknown tag, a record longer than what follows, a dump that stops
    // before its end record, a dump without any heap dump record.
    HprofWriter unknown = itemDump();
    const size_t at = unknown.size();
    unknown.beginRecord(0x42).u4(7).endRecord();
    EXPECT_TRUE(failsWith(unknown.bytes(), "unknown record tag 0x42", at));

    HprofWriter longer = itemDump();
    const size_t longAt = longer.size();
    longer.utf8(9, "name").overrideLastLength(1000);
    EXPECT_TRUE(failsWith(longer.bytes(), "truncated record", longAt));

    HprofWriter unended = itemDump();
    unended.beginSegment().classDump(0x1000, 0, {}, {}).endSegment();
    EXPECT_TRUE(failsWith(unended.bytes(), "truncated dump", unended.size()));
    EXPECT_TRUE(failsWith(itemDump().bytes(), "no heap dump", itemDump().size()));

    HprofWriter badLoad = itemDump();
    const size_t loadAt = badLoad.size();
    badLoad.loadClass(3, 0x3000, 2).overrideLastLength(12);
    EXPECT_NE(readError(badLoad.bytes()).find("at byte " + std::to_string(loadAt)), std::string::npos);
}

TEST(Malformed, SubRecords)
{
    // An unknown sub-record tag.
    HprofWriter unknown = itemDump();
    unknown.beginSegment().classDump(0x1000, 0, {}, {});
    const size_t at = unknown.size();
    unknown.u1(0x99).id(0x5000).endSegment().heapDumpEnd();
    EXPECT_TRUE(failsWith(unknown.bytes(), "unknown heap dump sub-record tag 0x99", at));

    // A sub-record running past its segment's end.
    HprofWriter past = itemDump();
    past.beginSegment().classDump(0x1000, 0, {}, {});
    const size_t arrayAt = past.size();
    past.primitiveArray(0x5000, 8, 64).endSegment();
    past.overrideLastLength(static_cast<uint32_t>(past.size() - (arrayAt - 9) - 9 - 10));
    past.heapDumpEnd();
    EXPECT_TRUE(failsWith(past.bytes(), "longer than its heap dump segment", arrayAt));

    // Counts far beyond what the segment holds fail at once, before anything is kept.
    for (uint8_t tag : {uint8_t{0x22}, uint8_t{0x23}}) {
        HprofWriter huge = itemDump();
        huge.beginSegment().classDump(0x1000, 0, {}, {});
        const size_t hugeAt = huge.size();
        huge.u1(tag).id(0x5000).u4(1).u4(0xFFFFFFFF);
        if (tag == 0x22)
            huge.id(0x1000);
        else
            huge.u1(11);
        huge.endSegment().heapDumpEnd();
        EXPECT_TRUE(failsWith(huge.bytes(), "longer than its heap dump segment", hugeAt)) << int(tag);
    }
    HprofWriter hugeInstance = itemDump();
    hugeInstance.beginSegment().classDump(0x1000, 0, {}, {});
    const size_t instanceAt = hugeInstance.size();
    hugeInstance.u1(0x21).id(0x5000).u4(1).id(0x1000).u4(0xFFFFFFF0).endSegment().heapDumpEnd();
    EXPECT_TRUE(failsWith(hugeInstance.bytes(), "longer than its heap dump segment", instanceAt));

    // A field of a type that does not exist.
    HprofWriter badType = itemDump();
    badType.beginSegment();
    const size_t classAt = badType.size();
    badType.classDump(0x2000, 0x1000, {}, {{3, 3}}).endSegment().heapDumpEnd();
    EXPECT_TRUE(failsWith(badType.bytes(), "bad value type 0x03", classAt));
}

TEST(Malformed, ObjectsThatCannotBe)
{
    // The same identifier for two objects.
    HprofWriter twice = itemDump();
    twice.beginSegment().classDump(0x1000, 0, {}, {}).instance(0x5000, 0x1000, {});
    const size_t second = twice.size();
    twice.instance(0x5000, 0x1000, {}).endSegment().heapDumpEnd();
    EXPECT_TRUE(failsWith(twice.bytes(), "duplicate object", second));

    // An object identifier that is no address.
    HprofWriter odd = itemDump();
    odd.beginSegment().classDump(0x1000, 0, {}, {});
    const size_t oddAt = odd.size();
    odd.instance(0x5003, 0x1000, {}).endSegment().heapDumpEnd();
    EXPECT_TRUE(failsWith(odd.bytes(), "bad object identifier", oddAt));

    // References naming megabytes of addresses at random, with hardly any objects there:
    // refused at the array that went past what the objects justify, before its memory
    // grew with the dump.
    for (bool last : {false, true}) {
        HprofWriter scattered = itemDump();
        scattered.beginSegment().classDump(0x1000, 0, {}, {}).classDump(0x2000, 0x1000, {}, {});
        const size_t arrayAt = scattered.size();
        std::vector<uint64_t> elements;
        for (uint64_t m = 1; m <= 70000; ++m)
            elements.push_back((m << 20) + 16);
        scattered.objectArray(0x5000, 0x2000, elements);
        if (!last)
            scattered.instance(0x6000, 0x1000, {});
        scattered.endSegment().heapDumpEnd();
        EXPECT_TRUE(failsWith(scattered.bytes(), "implausible object identifiers", arrayAt)) << last;
    }

    // Field values that do not match the class's fields.
    HprofWriter mismatch = itemDump();
    mismatch.beginSegment().classDump(0x1000, 0, {}, {}).classDump(0x2000, 0x1000, {}, {{3, 2}});
    const size_t mismatchAt = mismatch.size();
    mismatch.instance(0x5000, 0x2000, {{10, 1}}).endSegment().heapDumpEnd();
    EXPECT_TRUE(failsWith(mismatch.bytes(), "instance does not match its class", mismatchAt));

    // A class dumped twice.
    HprofWriter classTwice = itemDump();
    classTwice.beginSegment().classDump(0x1000, 0, {}, {});
    const size_t classAt = classTwice.size();
    classTwice.classDump(0x1000, 0, {}, {}).endSegment().heapDumpEnd();
    EXPECT_TRUE(failsWith(classTwice.bytes(), "duplicate class", classAt));
}

TEST(Malformed, ClassHierarchyCycle)
{
    // Item's superclass is Other and Other's is Item: read when an instance needs the
    // layout, and when the hierarchy is resolved even without instances.
    for (bool withInstance : {true, false}) {
        HprofWriter w = itemDump();
        w.beginSegment().classDump(0x1000, 0, {}, {});
        const size_t itemAt = w.size();
        w.classDump(0x2000, 0x3000, {}, {{3, 2}}).classDump(0x3000, 0x2000, {}, {});
        if (withInstance)
            w.instance(0x5000, 0x2000, {{2, 0}});
        w.endSegment().heapDumpEnd();
        uint64_t offset = 0;
        const std::string error = readError(w.bytes(), &offset);
        EXPECT_NE(error.find("class hierarchy cycle"), std::string::npos) << error;
        EXPECT_TRUE(offset == itemAt || offset == itemAt + 1 + 7 * 8 + 4 + 4 + 2 + 2 + 2 + 9) << error;
    }
}

// Random bytes changed in a valid dump: every outcome is a dump read or one HprofError.
TEST(Malformed, RandomCorruptionNeverCrashes)
{
    const SampleDump d = sampleDump(VmLayout{});
    std::mt19937 random(20251208);
    size_t errors = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = d.bytes;
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < changes; ++i) {
            const size_t at = kHeader + random() % (bytes.size() - kHeader);
            bytes[at] = static_cast<uint8_t>(random());
        }
        try {
            MemorySource source(bytes);
            const HeapIndex index = readHeapDump(source);
            ASSERT_EQ(index.graph.firstEdge.size(), index.graph.objects + 1u);
            ASSERT_TRUE(std::is_sorted(index.graph.firstEdge.begin(), index.graph.firstEdge.end()));
            ASSERT_EQ(index.graph.firstEdge.back(), index.graph.edgeCount());
            for (uint32_t target : index.graph.targets)
                ASSERT_LT(target, index.graph.objects) << "round " << round;
            for (const auto& [holder, referent] : index.graph.weakEdges)
                ASSERT_TRUE(holder < index.graph.objects && referent < index.graph.objects);
        } catch (const HprofError&) {
            ++errors;
        }
    }
    EXPECT_GT(errors, 0u);
}

}  // namespace
