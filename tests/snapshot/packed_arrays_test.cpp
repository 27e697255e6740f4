// The reader's append-only chunks, emptied into the graph's packed per-object arrays,
// and the dominators' log of objects in preorder.
#include <gtest/gtest.h>

#include <stdexcept>

#include "chunked_array.h"
#include "class_numbers.h"
#include "preorder_log.h"
#include "size_units.h"

namespace {

constexpr size_t kChunk = ChunkedArray<uint32_t>::kChunkSize;

// Values that change from element to element, with a few beyond 16 bits placed so that
// they fall at a chunk's first and last elements and in its middle.
uint32_t valueAt(size_t i)
{
    if (i == kChunk - 1 || i == 2 * kChunk || i == 2 * kChunk + 77)
        return 70000 + static_cast<uint32_t>(i);
    return static_cast<uint32_t>(i % 1021);
}

ChunkedArray<uint32_t> filled(size_t count)
{
    ChunkedArray<uint32_t> chunks;
    for (size_t i = 0; i < count; ++i)
        chunks.push_back(valueAt(i));
    return chunks;
}

}  // namespace

TEST(PackedArrays, ChunksDrainIntoEachPackedArrayWithEveryValueInItsPlace)
{
    const size_t count = 3 * kChunk + 5;

    ChunkedArray<uint32_t> classes = filled(count);
    ClassNumbers classOf;
    classes.drainInto(classOf);
    EXPECT_TRUE(classes.empty());
    ASSERT_EQ(classOf.size(), count);
    // A number beyond 16 bits at the end of the first chunk widens the rest.
    EXPECT_FALSE(classOf.wide().empty());

    ChunkedArray<uint32_t> sizes = filled(count);
    SizeUnits sizeUnits;
    sizes.drainInto(sizeUnits);
    EXPECT_TRUE(sizes.empty());
    ASSERT_EQ(sizeUnits.size(), count);

    ChunkedArray<uint32_t> plain = filled(count);
    const std::vector<uint32_t> vector = plain.drain(1);
    EXPECT_TRUE(plain.empty());
    ASSERT_EQ(vector.size(), count);
    EXPECT_GE(vector.capacity(), count + 1);

    for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(classOf[i], valueAt(i)) << i;
        ASSERT_EQ(sizeUnits[i], valueAt(i)) << i;
        ASSERT_EQ(vector[i], valueAt(i)) << i;
    }
}

TEST(PackedArrays, SmallNumbersStayNarrowAndAnEmptyArrayDrainsToNothing)
{
    ChunkedArray<uint32_t> classes;
    for (uint32_t i = 0; i < kChunk + 3; ++i)
        classes.push_back(i % 500);
    ClassNumbers classOf;
    classes.drainInto(classOf);
    EXPECT_TRUE(classOf.wide().empty());
    ASSERT_EQ(classOf.size(), kChunk + 3);
    EXPECT_EQ(classOf[kChunk + 2], (kChunk + 2) % 500);

    ChunkedArray<uint32_t> none;
    SizeUnits sizeUnits;
    none.drainInto(sizeUnits);
    EXPECT_TRUE(sizeUnits.empty());
    EXPECT_TRUE(none.drain().empty());
}

// The drains append a chunk at a time: the same arrays as one push at a time, with
// values on either side of 16 bits arriving in the first block, a later one, or never.
TEST(PackedArrays, AppendingBlocksGivesWhatPushingEachGives)
{
    const std::vector<std::vector<uint32_t>> cases = {
        {1, 2, 65534, 3},
        {65534, 65535, 65536, 0, 7},
        {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 40000, 65535},
        {},
    };
    for (const auto& values : cases) {
        for (const size_t block : {size_t{1}, size_t{3}, size_t{100}}) {
            ClassNumbers classesPushed, classesAppended;
            SizeUnits sizesPushed, sizesAppended;
            for (const uint32_t v : values) {
                classesPushed.push_back(v);
                sizesPushed.push_back(v);
            }
            for (size_t at = 0; at < values.size(); at += block) {
                const size_t count = std::min(block, values.size() - at);
                classesAppended.append(values.data() + at, count);
                sizesAppended.append(values.data() + at, count);
            }
            EXPECT_TRUE(classesAppended == classesPushed) << "block " << block;
            EXPECT_TRUE(sizesAppended == sizesPushed) << "block " << block;
            for (size_t i = 0; i < values.size(); ++i) {
                EXPECT_EQ(classesAppended[i], values[i]);
                EXPECT_EQ(sizesAppended[i], values[i]);
            }
        }
    }
}

TEST(PreorderLog, ReadsBackEveryPartFromItsMarks)
{
    // Steps of every length the log writes (1 to 5 bytes, both ways), the largest jumps
    // across the whole range of numbers, and runs of small steps between them, over many
    // marks.
    std::vector<uint32_t> objects;
    uint32_t at = 1000;
    const int64_t steps[] = {1, -1, 63, -64, 64, 8191, -8192, 8192, 1 << 20, -(1 << 20), (1 << 27) + 5, -(1 << 27)};
    for (int round = 0; round < 40; ++round) {
        for (const int64_t step : steps) {
            at = static_cast<uint32_t>(int64_t{at} + step);
            objects.push_back(at);
            for (int k = 0; k < round % 7; ++k)
                objects.push_back(++at);
        }
    }
    objects.push_back(UINT32_MAX - 2);
    objects.push_back(0);
    objects.push_back(UINT32_MAX - 3);

    PreorderLog log(64, objects.size());
    for (const uint32_t object : objects)
        log.add(object);
    ASSERT_EQ(log.size(), objects.size());
    const auto n = static_cast<uint32_t>(objects.size());
    for (uint32_t from = 0; from < n; from += 64) {
        for (const uint32_t to : {from, std::min(n, from + 1), std::min(n, from + 64), std::min(n, from + 200), n}) {
            std::vector<uint32_t> got(to - from, 0xDEADBEEF);
            log.read(from, to, got.data());
            ASSERT_EQ(got, std::vector<uint32_t>(objects.begin() + from, objects.begin() + to))
                << "from " << from << " to " << to;
        }
    }
    uint32_t spare = 0;
    EXPECT_THROW(log.read(1, 2, &spare), std::out_of_range);  // no mark there
    EXPECT_THROW(log.read(0, n + 1, &spare), std::out_of_range);
    EXPECT_THROW(PreorderLog(48), std::invalid_argument);
}

TEST(PreorderLog, ShortStepsTakeAByteEach)
{
    // What the dominators count on to keep the log beside their arrays: a walk that mostly
    // steps a little forward or back costs about a byte per object, not four.
    PreorderLog log(1u << 16, 200000);
    uint32_t at = 5'000'000;
    for (uint32_t i = 0; i < 200000; ++i) {
        at = i % 3 == 2 ? at - 7 : at + 11;
        log.add(at);
    }
    EXPECT_LT(log.bytes(), 200000u + 200000u / 20);
    std::vector<uint32_t> back(200000);
    log.read(0, 200000, back.data());
    EXPECT_EQ(back.back(), at);
}
