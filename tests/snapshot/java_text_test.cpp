// Names and values as a Java programmer reads them, and the figures of a sentence.
#include <gtest/gtest.h>

#include <cstring>

#include "hprof_format.h"
#include "java_text.h"

namespace {

uint64_t bitsOf(double d)
{
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

uint64_t bitsOf(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

TEST(JavaText, TypeNamesBothWays)
{
    EXPECT_EQ(javaTypeName("[I"), "int[]");
    EXPECT_EQ(javaTypeName("[[Ljava.lang.String;"), "java.lang.String[][]");
    EXPECT_EQ(javaTypeName("java.util.HashMap$Node"), "java.util.HashMap$Node");
    EXPECT_EQ(javaTypeName("[Q"), "[Q");  // no array name Java knows: as it is
    EXPECT_EQ(classNameFromUser("int[]"), "[I");
    EXPECT_EQ(classNameFromUser("java/util/HashMap"), "java.util.HashMap");
    EXPECT_EQ(classNameFromUser("java.lang.String[][]"), "[[Ljava.lang.String;");
    EXPECT_EQ(classNameFromUser("[B"), "[B");
    for (const char* name : {"[J", "[[Z", "[Ljava.lang.Object;", "Foo$Bar"})
        EXPECT_EQ(classNameFromUser(javaTypeName(name)), name);
}

TEST(JavaText, PrimitivesAsJavaPrintsThem)
{
    EXPECT_EQ(javaValueText(hprof::kBoolean, 1), "true");
    EXPECT_EQ(javaValueText(hprof::kBoolean, 0), "false");
    EXPECT_EQ(javaValueText(hprof::kByte, 0xFF), "-1");
    EXPECT_EQ(javaValueText(hprof::kShort, 0x8000), "-32768");
    EXPECT_EQ(javaValueText(hprof::kInt, 0xFFFFFFF9), "-7");
    EXPECT_EQ(javaValueText(hprof::kLong, 0x8000000000000000), "-9223372036854775808");
    EXPECT_EQ(javaValueText(hprof::kChar, 'm'), "'m'");
    EXPECT_EQ(javaValueText(hprof::kChar, 0x20AC), "'\xE2\x82\xAC'");
    EXPECT_EQ(javaValueText(hprof::kDouble, bitsOf(5.0)), "5.0");
    EXPECT_EQ(javaValueText(hprof::kDouble, bitsOf(0.1)), "0.1");
    EXPECT_EQ(javaValueText(hprof::kDouble, bitsOf(1e7)), "1.0E7");
    EXPECT_EQ(javaValueText(hprof::kDouble, bitsOf(-1.5e-5)), "-1.5E-5");
    EXPECT_EQ(javaValueText(hprof::kDouble, bitsOf(0.001)), "0.001");
    EXPECT_EQ(javaValueText(hprof::kDouble, bitsOf(-0.0)), "-0.0");
    EXPECT_EQ(javaValueText(hprof::kFloat, bitsOf(6.0f)), "6.0");
    EXPECT_EQ(javaValueText(hprof::kFloat, bitsOf(0.75f)), "0.75");
    EXPECT_EQ(javaValueText(hprof::kFloat, bitsOf(1.4e-45f)), "1.4E-45");
    EXPECT_EQ(javaFloatingText(1.0 / 0.0, false), "Infinity");
    EXPECT_EQ(javaFloatingText(0.0 / 0.0, true), "NaN");
}

TEST(JavaText, FiguresAPersonReadsAtAGlance)
{
    EXPECT_EQ(groupedCount(0), "0");
    EXPECT_EQ(groupedCount(999), "999");
    EXPECT_EQ(groupedCount(1100000), "1,100,000");
    EXPECT_EQ(bytesText(512), "512 B");
    EXPECT_EQ(bytesText(3400), "3.40 KB");
    EXPECT_EQ(bytesText(292000000), "292 MB");
    EXPECT_EQ(bytesText(29200000), "29.2 MB");
    EXPECT_EQ(bytesText(999999), "1.00 MB");
    EXPECT_EQ(bytesText(1500000000), "1.50 GB");
    EXPECT_EQ(shareText(0.89), "89 %");
    EXPECT_EQ(shareText(0.042), "4.2 %");
    EXPECT_EQ(shareText(0.0004), "< 0.1 %");
    EXPECT_EQ(shareText(0), "0 %");
}

}  // namespace
