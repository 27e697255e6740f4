#include <gtest/gtest.h>

#include "class_histogram_text.h"

TEST(ClassHistogramText, RowsWithAndWithoutModulesThenTheTotal)
{
    const char* text =
        " num     #instances         #bytes  class name (module)\n"
        "-------------------------------------------------------\n"
        "   1:      10000612      240037728  [I (java.base@17.0.15)\n"
        "   2:             3             72  Main$$Lambda/0x00007f3c8c00a000\n"
        "   3:             1             16  odd (name)\r\n"
        "   4:             2             48  org.apache.catalina.session.StandardSession (jdk.internal)\n"
        "Total      10000618      240037864\n";
    std::vector<ClassCount> rows;
    ASSERT_TRUE(parse_class_histogram(text, &rows));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].type, "[I");
    EXPECT_EQ(rows[0].instances, 10000612);
    EXPECT_EQ(rows[0].bytes, 240037728);
    EXPECT_EQ(rows[1].type, "Main$$Lambda/0x00007f3c8c00a000");
    EXPECT_EQ(rows[1].instances, 3);
    // A module's name has no space; the last parenthesis is taken as one anyway.
    EXPECT_EQ(rows[2].type, "odd");
    EXPECT_EQ(rows[3].type, "org.apache.catalina.session.StandardSession");
}

TEST(ClassHistogramText, WhatIsNotAHistogramIsRefused)
{
    std::vector<ClassCount> rows;
    EXPECT_FALSE(parse_class_histogram("", &rows));
    EXPECT_FALSE(parse_class_histogram("Unknown diagnostic command\n", &rows));
    // Cut before its total: some rows would be missing.
    EXPECT_FALSE(parse_class_histogram("   1:  5  80  [B\n", &rows));
    EXPECT_FALSE(parse_class_histogram("   1:  5  [B\nTotal 5 80\n", &rows));
    EXPECT_FALSE(parse_class_histogram("   1:  99999999999999999999  80  [B\nTotal 5 80\n", &rows));
    EXPECT_TRUE(parse_class_histogram("Total 0 0\n", &rows));
    EXPECT_TRUE(rows.empty());
}
