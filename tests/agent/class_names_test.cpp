// Class and type names between the VM's signatures and the names clients show and type.
#include <gtest/gtest.h>

#include "class_names.h"

namespace {

TEST(ClassNames, SignaturesBecomeClassGetNameForms)
{
    EXPECT_EQ(java_class_name("Ljava/lang/String;"), "java.lang.String");
    EXPECT_EQ(java_class_name("Ljava/util/Map$Entry;"), "java.util.Map$Entry");
    EXPECT_EQ(java_class_name("[I"), "[I");
    EXPECT_EQ(java_class_name("[[Ljava/lang/Object;"), "[[Ljava.lang.Object;");
    // A hidden class's suffix follows a '.', which no internal name holds otherwise.
    EXPECT_EQ(java_class_name("Lpkg/Main$$Lambda.0x0000000800c01000;"), "pkg.Main$$Lambda/0x0000000800c01000");
    EXPECT_EQ(java_class_name(""), "");

    EXPECT_EQ(java_type_name("I"), "int");
    EXPECT_EQ(java_type_name("Z"), "boolean");
    EXPECT_EQ(java_type_name("V"), "void");
    EXPECT_EQ(java_type_name("Ljava/lang/String;"), "java.lang.String");
    EXPECT_EQ(java_type_name("[J"), "[J");
    EXPECT_EQ(java_type_name("Q"), "Q");  // no such type letter: left as it is
}

TEST(ClassNames, ANameTypedEitherWayFindsItsSignature)
{
    EXPECT_EQ(jvm_signature_of("java.util.HashMap"), "Ljava/util/HashMap;");
    EXPECT_EQ(jvm_signature_of("java/util/HashMap"), "Ljava/util/HashMap;");
    EXPECT_EQ(jvm_signature_of("Ljava/util/HashMap;"), "Ljava/util/HashMap;");
    EXPECT_EQ(jvm_signature_of("java.util.Map$Entry"), "Ljava/util/Map$Entry;");
    EXPECT_EQ(jvm_signature_of("int[]"), "[I");
    EXPECT_EQ(jvm_signature_of("java.lang.String[][]"), "[[Ljava/lang/String;");
    EXPECT_EQ(jvm_signature_of("[I"), "[I");
    EXPECT_EQ(jvm_signature_of("[Ljava.lang.Object;"), "[Ljava/lang/Object;");
    EXPECT_EQ(jvm_signature_of("pkg.Main$$Lambda/0x12"), "Lpkg/Main$$Lambda.0x12;");
    // A primitive type has no class; nor has nothing.
    EXPECT_EQ(jvm_signature_of("int"), "");
    EXPECT_EQ(jvm_signature_of(""), "");
    // What the replies print reads back as the same class.
    for (const char* sig : {"Ljava/lang/String;", "[[Ljava/lang/Object;", "[D", "La/B.0x1f;"})
        EXPECT_EQ(jvm_signature_of(java_class_name(sig)), sig);
}

TEST(ClassNames, BoxingClassesAndTheirPrimitives)
{
    EXPECT_EQ(boxed_primitive("java.lang.Integer"), 'I');
    EXPECT_EQ(boxed_primitive("java.lang.Character"), 'C');
    EXPECT_EQ(boxed_primitive("java.lang.Double"), 'D');
    EXPECT_EQ(boxed_primitive("java.lang.Number"), 0);
    EXPECT_EQ(boxed_primitive("Integer"), 0);
}

}  // namespace
