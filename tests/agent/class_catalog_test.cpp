// The class catalog and the thread list over a fake VM, for what a real one will not do
// on demand: fail a call. The heap walks number a class's fields after those of every
// interface it implements, so a list of fields that cannot be read must fail the class,
// never shift the numbers of the rest.
#include <gtest/gtest.h>

#include "class_catalog.h"
#include "fake_vm.h"
#include "heap_roots.h"
#include "records.h"

namespace {

// interface Named { 2 constants }   interface Counted extends Named { 1 }
// interface Marked { 1 }            class Base implements Counted { int b; }
// class Leaf extends Base implements Marked, Named { int c; static String s; }
struct Hierarchy {
    explicit Hierarchy(FakeVm& fake)
    {
        object = fake.define("Ljava/lang/Object;");
        named = fake.define("LNamed;", nullptr, {}, true);
        fake.add_field(named, "LABEL", "Ljava/lang/String;", true);
        fake.add_field(named, "OTHER", "Ljava/lang/String;", true);
        counted = fake.define("LCounted;", nullptr, {named}, true);
        fake.add_field(counted, "LIMIT", "I", true);
        marked = fake.define("LMarked;", nullptr, {}, true);
        fake.add_field(marked, "MARK", "I", true);
        base = fake.define("LBase;", object, {counted});
        fake.add_field(base, "b", "I");
        leaf = fake.define("LLeaf;", base, {marked, named});
        fake.add_field(leaf, "c", "I");
        fake.add_field(leaf, "s", "Ljava/lang/String;", true);
    }
    FakeClass *object, *named, *counted, *marked, *base, *leaf;
};

class ClassCatalogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(catalog.open(fake.vm())); }

    uint32_t id_of(FakeClass* c)
    {
        Expected<uint32_t> id = catalog.id_of(fake.jni(), FakeVm::ref(c));
        EXPECT_TRUE(id) << (id ? "" : id.failure().message);
        return id ? *id : 0;
    }

    FakeVm fake;
    Hierarchy classes{fake};
    ClassCatalog catalog;
};

TEST_F(ClassCatalogTest, FieldsAreNumberedAfterEveryInterfaceEachOnce)
{
    const uint32_t id = id_of(classes.leaf);
    ASSERT_TRUE(catalog.load_fields(fake.jni(), id));
    const ClassInfo& info = catalog.info(id);
    // Named (2), Counted (1) and Marked (1); Named twice over, counted once.
    EXPECT_EQ(info.first_index, 4);
    ASSERT_EQ(info.fields.size(), 3u);
    EXPECT_EQ(info.own_begin, 1u);
    EXPECT_EQ(catalog.field_at(fake.jni(), id, 4)->name, "b");
    EXPECT_EQ(catalog.field_at(fake.jni(), id, 4)->declaring, "Base");
    EXPECT_EQ(catalog.field_at(fake.jni(), id, 6)->name, "s");
    EXPECT_TRUE(catalog.field_at(fake.jni(), id, 6)->is_static);
    EXPECT_EQ(catalog.field_at(fake.jni(), id, 3), nullptr);
    EXPECT_EQ(catalog.field_at(fake.jni(), id, 7), nullptr);

    // An interface has its own fields only, after its superinterfaces'.
    const uint32_t counted_id = id_of(classes.counted);
    ASSERT_TRUE(catalog.load_fields(fake.jni(), counted_id));
    EXPECT_TRUE(catalog.info(counted_id).is_interface);
    EXPECT_EQ(catalog.info(counted_id).first_index, 2);
    ASSERT_EQ(catalog.info(counted_id).fields.size(), 1u);
}

TEST(ClassCatalog, InterfacesWhoseFieldsCannotBeReadFailTheClass)
{
    using Which = FakeClass* Hierarchy::*;
    for (auto [call, which] : {std::pair<const char*, Which>{"GetClassFields", &Hierarchy::named},
                               {"GetImplementedInterfaces", &Hierarchy::base},
                               {"GetImplementedInterfaces", &Hierarchy::counted}}) {
        FakeVm fake;
        Hierarchy classes(fake);
        SCOPED_TRACE(std::string(call) + " of " + (classes.*which)->signature);
        fake.fail(call, classes.*which, JVMTI_ERROR_CLASS_NOT_PREPARED);
        ClassCatalog catalog;
        ASSERT_TRUE(catalog.open(fake.vm()));
        Expected<uint32_t> id = catalog.id_of(fake.jni(), FakeVm::ref(classes.leaf));
        ASSERT_TRUE(id);
        Status loaded = catalog.load_fields(fake.jni(), *id);
        ASSERT_FALSE(loaded);
        EXPECT_EQ(loaded.failure().code, std::string(err::JVM));
        EXPECT_EQ(loaded.failure().message, std::string(call) + " failed: JVMTI_ERROR_CLASS_NOT_PREPARED (22)");
        // Nothing half-read is kept: an index names no field rather than the wrong one.
        EXPECT_FALSE(catalog.info(*id).fields_ready);
        EXPECT_EQ(catalog.field_at(fake.jni(), *id, 4), nullptr);
    }
}

TEST_F(ClassCatalogTest, AClassWhoseKindCannotBeToldIsNotCatalogued)
{
    fake.fail("IsInterface", classes.marked, JVMTI_ERROR_INVALID_CLASS);
    Expected<uint32_t> id = catalog.id_of(fake.jni(), FakeVm::ref(classes.marked));
    ASSERT_FALSE(id);
    EXPECT_EQ(id.failure().message, "IsInterface failed: JVMTI_ERROR_INVALID_CLASS (21)");
    EXPECT_EQ(catalog.size(), 0u);
    EXPECT_EQ(fake.tag_of(classes.marked), 0);
}

TEST(ThreadList, AThreadThatCannotBeTaggedFailsTheList)
{
    FakeVm fake;
    fake.start_thread("main");
    FakeThread* worker = fake.start_thread("worker");
    ThreadList threads;
    ASSERT_TRUE(tag_threads(fake.jvmti(), fake.jni(), threads));
    EXPECT_EQ(threads.names, (std::vector<std::string>{"main", "worker"}));
    EXPECT_NE(fake.tag_of(worker), 0);

    fake.fail("SetTag", worker, JVMTI_ERROR_INTERNAL);
    ThreadList again;
    Status tagged = tag_threads(fake.jvmti(), fake.jni(), again);
    ASSERT_FALSE(tagged);
    EXPECT_EQ(tagged.failure().message, "SetTag failed: JVMTI_ERROR_INTERNAL (113)");
}

}  // namespace
