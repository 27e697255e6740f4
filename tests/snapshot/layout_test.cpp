// The object layout model against sizes HotSpot is known to give (JDK 15 on, 64-bit).
#include <gtest/gtest.h>

#include "field_layout.h"
#include "vm_layout.h"

namespace {

// An instance's bytes for fields of these sizes (0 for a reference) in a class whose
// superclass is java.lang.Object.
uint32_t bytes(const VmLayout& layout, std::vector<uint8_t> sizes)
{
    const FieldBlockLayout object = layoutInstanceFields(layout, nullptr, {}, 0);
    std::vector<uint8_t> primitives;
    uint32_t oops = 0;
    for (uint8_t s : sizes) {
        if (s == 0)
            ++oops;
        else
            primitives.push_back(s);
    }
    return instanceBytes(layout, layoutInstanceFields(layout, &object, primitives, oops));
}

VmLayout layoutOf(bool oops, bool classPointers, bool byElement = false)
{
    VmLayout layout;
    layout.compressedOops = oops;
    layout.compressedClassPointers = classPointers;
    layout.arraysAlignedByElement = byElement;
    return layout;
}

TEST(Layout, InstancesWithCompressedPointers)
{
    const VmLayout l = layoutOf(true, true);
    EXPECT_EQ(instanceBytes(l, layoutInstanceFields(l, nullptr, {}, 0)), 16u);  // java.lang.Object
    EXPECT_EQ(bytes(l, {1}), 16u);
    EXPECT_EQ(bytes(l, {4}), 16u);
    EXPECT_EQ(bytes(l, {8}), 24u);        // the long goes to 16; 12..16 stays free
    EXPECT_EQ(bytes(l, {8, 1}), 24u);     // the byte fills the gap at 12
    EXPECT_EQ(bytes(l, {8, 4}), 24u);
    EXPECT_EQ(bytes(l, {8, 0}), 24u);     // and so does a compressed reference
    EXPECT_EQ(bytes(l, {1, 1, 1}), 16u);
    EXPECT_EQ(bytes(l, {4, 4}), 24u);
    EXPECT_EQ(bytes(l, {0, 0, 0}), 24u);
    EXPECT_EQ(bytes(l, {8, 8, 4, 4, 2, 2, 1, 1, 0}), 48u);
}

TEST(Layout, InstancesWithWideHeadersOrReferences)
{
    const VmLayout wideOops = layoutOf(false, true);
    EXPECT_EQ(bytes(wideOops, {0}), 24u);     // 8-byte reference at 16
    EXPECT_EQ(bytes(wideOops, {4, 0}), 24u);  // the int takes 12
    EXPECT_EQ(bytes(wideOops, {0, 0}), 32u);
    const VmLayout wideHeader = layoutOf(false, false);
    EXPECT_EQ(instanceBytes(wideHeader, layoutInstanceFields(wideHeader, nullptr, {}, 0)), 16u);
    EXPECT_EQ(bytes(wideHeader, {1}), 24u);
    EXPECT_EQ(bytes(wideHeader, {8}), 24u);
    EXPECT_EQ(bytes(wideHeader, {0}), 24u);
}

TEST(Layout, SubclassesFillTheirSuperclassesGaps)
{
    const VmLayout l = layoutOf(true, true);
    const FieldBlockLayout object = layoutInstanceFields(l, nullptr, {}, 0);
    // {long x; byte y}: x at 16, y at 12, free 13..16.
    const FieldBlockLayout base = layoutInstanceFields(l, &object, {8, 1}, 0);
    EXPECT_EQ(instanceBytes(l, base), 24u);
    EXPECT_EQ(base.end, 24u);
    // A short fits at 14 and a byte at 13: still 24 bytes.
    EXPECT_EQ(instanceBytes(l, layoutInstanceFields(l, &base, {2, 1}, 0)), 24u);
    // An int does not fit in 13..16: it goes to 24.
    EXPECT_EQ(instanceBytes(l, layoutInstanceFields(l, &base, {4}, 0)), 32u);
    // A subclass without fields is its superclass's size.
    EXPECT_EQ(instanceBytes(l, layoutInstanceFields(l, &base, {}, 0)), 24u);
}

TEST(Layout, Arrays)
{
    const VmLayout l = layoutOf(true, true);
    EXPECT_EQ(l.arraySize(1, 0), 16u);
    EXPECT_EQ(l.arraySize(1, 1), 24u);
    EXPECT_EQ(l.arraySize(1, 8), 24u);
    EXPECT_EQ(l.arraySize(1, 9), 32u);
    EXPECT_EQ(l.arraySize(4, 3), 32u);
    EXPECT_EQ(l.arraySize(8, 1), 24u);
    EXPECT_EQ(l.arraySize(l.oopSize(), 3), 32u);
    EXPECT_EQ(layoutOf(false, true).arraySize(layoutOf(false, true).oopSize(), 3), 40u);
    // Without compressed class pointers the length ends at 20: before JDK 22 elements
    // start at 24, from JDK 22 at their own alignment.
    EXPECT_EQ(layoutOf(false, false).arraySize(1, 0), 24u);
    EXPECT_EQ(layoutOf(false, false).arraySize(4, 1), 32u);
    EXPECT_EQ(layoutOf(false, false, true).arraySize(4, 1), 24u);
    EXPECT_EQ(layoutOf(false, false, true).arraySize(8, 1), 32u);
    EXPECT_EQ(layoutOf(true, false, true).arraySize(4, 1), 24u);
    // Compact headers: the length at 8, small elements from 12.
    VmLayout compact;
    compact.compactHeaders = true;
    compact.arraysAlignedByElement = true;
    EXPECT_EQ(compact.arraySize(1, 0), 16u);
    EXPECT_EQ(compact.arraySize(4, 1), 16u);
    EXPECT_EQ(compact.arraySize(8, 1), 24u);
    // A larger object alignment rounds every object up to it.
    VmLayout aligned16;
    aligned16.objectAlignment = 16;
    EXPECT_EQ(aligned16.arraySize(1, 1), 32u);
}

TEST(Layout, ClassObjectsCarryTheirStatics)
{
    const VmLayout l = layoutOf(true, true);
    EXPECT_EQ(mirrorBytes(l, 96, 0, {}), 96u);
    EXPECT_EQ(mirrorBytes(l, 96, 1, {}), 104u);       // one reference: 100, rounded
    EXPECT_EQ(mirrorBytes(l, 96, 1, {8, 1}), 120u);   // 96 ref, 104 long, 112 byte
    EXPECT_EQ(mirrorBytes(l, 96, 0, {4, 4, 2}), 112u);
    EXPECT_EQ(mirrorBytes(layoutOf(false, true), 96, 2, {}), 112u);
}

}  // namespace
