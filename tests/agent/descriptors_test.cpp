#include <gtest/gtest.h>

#include <cstring>

#include "object_details.h"

namespace {

TEST(Tags, CarryTheMarkerAndTheHandle)
{
    EXPECT_EQ(static_cast<uint64_t>(make_tag(0x1a2b)), 0x1234567800001a2bull);
    EXPECT_EQ(handle_of(make_tag(0x1a2b)), 0x1a2bu);
    EXPECT_EQ(static_cast<uint64_t>(make_tag(0x7fffffff)), 0x123456787fffffffull);
}

TEST(Tags, HighHandlesSignExtendButStillMapBack)
{
    int64_t tag = make_tag(0x80000000u);
    EXPECT_EQ(static_cast<uint64_t>(tag), 0xffffffff80000000ull);
    EXPECT_EQ(handle_of(tag), 0x80000000u);
    // Only the low word counts, whatever the high word holds.
    EXPECT_EQ(handle_of(static_cast<int64_t>(0x0badf00d00000042ull)), 0x42u);
}

TEST(Registry, ObjectDescriptorsGetDistinctLiveHandles)
{
    DescriptorRegistry reg;
    ObjectDetails* a = reg.new_object_descriptor();
    ObjectDetails* b = reg.new_object_descriptor();
    ASSERT_TRUE(a && b);
    EXPECT_NE(a->handle, b->handle);
    EXPECT_GE(a->handle, 1u);
    EXPECT_LT(b->handle, CLASS_HANDLE_BASE);
    EXPECT_EQ(reg.descriptor_of(a->handle), a);
    EXPECT_EQ(reg.descriptor_of(b->handle), b);
    EXPECT_FALSE(reg.is_class_descriptor(a));
    // A new descriptor is zeroed with an empty list.
    EXPECT_EQ(a->signature, nullptr);
    EXPECT_EQ(a->root_kind, 0);
    EXPECT_EQ(list_of(a).head.obj, nullptr);
}

TEST(Registry, UnknownHandlesNameNothing)
{
    DescriptorRegistry reg;
    EXPECT_EQ(reg.descriptor_of(0), nullptr);
    EXPECT_EQ(reg.descriptor_of(CLASS_HANDLE_BASE - 1), nullptr);  // never issued
    EXPECT_EQ(reg.descriptor_of(0x7fffffff), nullptr);
    EXPECT_EQ(reg.descriptor_of(0x80000000u), nullptr);
    EXPECT_EQ(reg.descriptor_of(0xffffffffu), nullptr);
}

TEST(Registry, EveryClassTableHasFreshHandlesAndOldOnesDie)
{
    DescriptorRegistry reg;
    ObjectDetails* first = reg.new_class_table(3);
    uint32_t old_handles[3];
    for (int i = 0; i < 3; i++) {
        old_handles[i] = first[i].handle;
        EXPECT_GE(first[i].handle, CLASS_HANDLE_BASE);
        EXPECT_EQ(reg.descriptor_of(first[i].handle), &first[i]);
        EXPECT_TRUE(reg.is_class_descriptor(&first[i]));
    }
    EXPECT_EQ(reg.class_table_count(), 3u);

    reg.free_class_table();
    for (uint32_t h : old_handles) EXPECT_EQ(reg.descriptor_of(h), nullptr);

    ObjectDetails* second = reg.new_class_table(2);
    for (int i = 0; i < 2; i++) {
        for (uint32_t h : old_handles) EXPECT_NE(second[i].handle, h);
        EXPECT_EQ(reg.descriptor_of(second[i].handle), &second[i]);
    }
    for (uint32_t h : old_handles) EXPECT_EQ(reg.descriptor_of(h), nullptr);
    reg.free_class_table();
    EXPECT_EQ(reg.class_table_count(), 0u);
}

TEST(Registry, EmptyClassTableIsValid)
{
    DescriptorRegistry reg;
    reg.new_class_table(0);
    EXPECT_EQ(reg.class_table_count(), 0u);
    reg.free_class_table();
}

TEST(Signatures, InternedTextOutlivesItsSource)
{
    DescriptorRegistry reg;
    char source[32];
    strcpy(source, "Ljava/lang/String;");
    const char* a = reg.intern_signature(source);
    strcpy(source, "[I");
    const char* b = reg.intern_signature("Ljava/lang/String;");
    EXPECT_EQ(a, b);
    EXPECT_STREQ(a, "Ljava/lang/String;");
    EXPECT_STREQ(reg.intern_signature(source), "[I");
}

}  // namespace
