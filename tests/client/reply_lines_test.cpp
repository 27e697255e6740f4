#include "reply_lines.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> linesOf(std::string text)
{
    const ReplyLines lines(std::move(text));
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size(); ++i)
        out.emplace_back(lines[i]);
    return out;
}

TEST(ReplyLines, SplitsAtEachLineFeed)
{
    EXPECT_EQ(linesOf("1 I \n2 Ljava/lang/String; \n"),
              (std::vector<std::string>{"1 I ", "2 Ljava/lang/String; "}));
}

TEST(ReplyLines, EmptyLinesCountAndTheUnterminatedTailIsDropped)
{
    EXPECT_EQ(linesOf("\n\na \nb"), (std::vector<std::string>{"", "", "a "}));
    EXPECT_TRUE(linesOf("no line feed").empty());
    EXPECT_TRUE(linesOf("").empty());
}

TEST(ReplyLines, KeepsEveryByte)
{
    const std::string withNul("a\0b\r\n", 5);
    EXPECT_EQ(linesOf(withNul), (std::vector<std::string>{std::string("a\0b\r", 4)}));
}

}  // namespace
