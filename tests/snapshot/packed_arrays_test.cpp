// The reader's append-only chunks, emptied into the graph's packed per-object arrays.
#include <gtest/gtest.h>

#include "chunked_array.h"
#include "class_numbers.h"
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
