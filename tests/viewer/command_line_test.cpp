#include "command_line.h"

#include <gtest/gtest.h>

namespace {

ViewerOptions parse(std::string_view line)
{
    ViewerOptions options;  // debug 0 and the default port, as before the line is read
    parseCommandLine(line, options);
    return options;
}

TEST(CommandLine, EmptyLineMeansNoLogAndKeepsThePort)
{
    ViewerOptions options;
    options.port = 4000;
    parseCommandLine("", options);
    EXPECT_EQ(options.debug, -1);
    EXPECT_EQ(options.port, 4000);
}

TEST(CommandLine, LastWordDecidesTheDebugLevel)
{
    EXPECT_EQ(parse("debug=1").debug, 1);

    const ViewerOptions portFirst = parse("port=4000 debug=1");
    EXPECT_EQ(portFirst.debug, 1);
    EXPECT_EQ(portFirst.port, 4000);

    const ViewerOptions debugFirst = parse("debug=1 port=4000");
    EXPECT_EQ(debugFirst.debug, -1);
    EXPECT_EQ(debugFirst.port, 4000);

    EXPECT_EQ(parse("debug=2").debug, 2);
    EXPECT_EQ(parse("debug=abc").debug, 0);
    EXPECT_EQ(parse("colour=red").debug, -1);
    EXPECT_EQ(parse("Debug=1").debug, -1);  // keys are case-sensitive
}

TEST(CommandLine, LastPortWinsWherever)
{
    const ViewerOptions options = parse("port=1 debug=1 port=2 debug=1");
    EXPECT_EQ(options.port, 2);
    EXPECT_EQ(options.debug, 1);
}

TEST(CommandLine, KeyAndValueAreRunsBetweenEqualsSigns)
{
    EXPECT_EQ(parse("port==5").port, 5);
    EXPECT_EQ(parse("port=5=6").port, 5);
    EXPECT_EQ(parse("port=77x").port, 77);
    EXPECT_EQ(parse("port=  77").port, 0);  // the blank ends the word: "77" is a word of its own
    EXPECT_EQ(parse("port=-1").port, -1);
    // Without a value the conversion has no digits.
    EXPECT_EQ(parse("port").port, 0);
    EXPECT_EQ(parse("port=").port, 0);
    EXPECT_EQ(parse("debug").debug, 0);
}

TEST(CommandLine, WordOfEqualsSignsOnlyIsIgnored)
{
    EXPECT_EQ(parse("debug=1 ===").debug, 1);
    EXPECT_EQ(parse("=").debug, 0);  // no word took effect: the level is still the initial one
}

TEST(CommandLine, OnlyBlanksSeparateWords)
{
    // The tab belongs to the word, so this is one port word with value "4000\tdebug".
    const ViewerOptions tabbed = parse("port=4000\tdebug=1");
    EXPECT_EQ(tabbed.port, 4000);
    EXPECT_EQ(tabbed.debug, -1);
    EXPECT_EQ(parse("debug=\t1").debug, 1);  // a tab before the digits is white space to the conversion
    EXPECT_EQ(parse("  port=9    debug=1  ").debug, 1);
}

TEST(CommandLine, WordsAfterTheTenthAreIgnored)
{
    EXPECT_EQ(parse("a b c d e f g h i debug=1").debug, 1);
    const ViewerOptions options = parse("a b c d e f g h i j debug=1 port=7");
    EXPECT_EQ(options.debug, -1);
    EXPECT_EQ(options.port, kDefaultPort);
}

TEST(CommandLine, HugeNumbersSaturate)
{
    EXPECT_EQ(parse("port=99999999999999999999").port, 2147483647);
    EXPECT_EQ(parse("port=-99999999999999999999").port, -2147483647 - 1);
}

TEST(CommandLine, ArgumentsJoinWithSingleBlanks)
{
    const char* args[] = {"port=4000", "debug=1"};
    EXPECT_EQ(joinArguments(2, args), "port=4000 debug=1");
    EXPECT_EQ(joinArguments(0, nullptr), "");

    // Blank-only arguments arrive as the empty text, which means no log.
    const char* blanks[] = {"\t", " "};
    EXPECT_EQ(joinArguments(2, blanks), "");
    const char* leading[] = {"\t", "debug=1"};
    EXPECT_EQ(joinArguments(2, leading), "debug=1");
}

}  // namespace
