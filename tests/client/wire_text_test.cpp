#include "wire_text.h"

#include <gtest/gtest.h>

#include "request_line.h"

namespace {

TEST(WireText, EveryByteSurvivesEscapingAsAnArgumentAndUnescaping)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string wire = escapeArgument(all);
    for (char c : wire) {
        EXPECT_GE(static_cast<unsigned char>(c), 0x20);
        EXPECT_LT(static_cast<unsigned char>(c), 0x7F);
    }
    EXPECT_EQ(unescapeField(wire), all);
    const std::string utf8 = "caf\xC3\xA9 \xF0\x9F\x98\x80 a\\b\tc";
    EXPECT_EQ(unescapeField(escapeArgument(utf8)), utf8);
}

TEST(WireText, ArgumentEscapesAreTheProtocolsOwn)
{
    EXPECT_EQ(escapeArgument("a\\b\tc\nd\re"), "a\\\\b\\tc\\nd\\re");
    EXPECT_EQ(escapeArgument(std::string("\0\x1f\x7f\xc3\xa9", 5)), "\\x00\\x1F\\x7F\\xC3\\xA9");
    EXPECT_EQ(escapeArgument("java.util.HashMap$Node[]"), "java.util.HashMap$Node[]");
}

TEST(WireText, UtfSixteenUnitsBecomeUtfEight)
{
    EXPECT_EQ(unescapeField("caf\\u00e9"), "caf\xC3\xA9");
    EXPECT_EQ(unescapeField("\\u20AC\\u0041"), "\xE2\x82\xAC" "A");
    // A pair is one code point; halves on their own are not characters.
    EXPECT_EQ(unescapeField("\\uD83D\\uDE00"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(unescapeField("\\uD83Dx"), "\xEF\xBF\xBDx");
    EXPECT_EQ(unescapeField("\\uDE00\\uD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(unescapeField("\\uD83D\\u0041"), "\xEF\xBF\xBD" "A");
    // Bytes that were no valid UTF-8 in the VM come back as they were.
    EXPECT_EQ(unescapeField("\\xff\\xC0"), "\xFF\xC0");
}

TEST(WireText, WhatIsNoEscapeStaysAsItStands)
{
    EXPECT_EQ(unescapeField("a\\qb"), "a\\qb");
    EXPECT_EQ(unescapeField("\\u12"), "\\u12");
    EXPECT_EQ(unescapeField("\\xZ1"), "\\xZ1");
    EXPECT_EQ(unescapeField("end\\"), "end\\");
    EXPECT_EQ(unescapeField(""), "");
}

TEST(RequestLine, NameAndArgumentsAfterTabsEndedByALineFeed)
{
    EXPECT_EQ(encodeRequest("histo", {}), "VRL1 histo\n");
    EXPECT_EQ(encodeRequest("object", {"1a2b", "limit=50"}), "VRL1 object\t1a2b\tlimit=50\n");
    EXPECT_EQ(encodeRequest("instances", {"a\tb\nc", ""}), "VRL1 instances\ta\\tb\\nc\t\n");
}

}  // namespace
