#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "agent_options.h"

namespace {

struct Parsed {
    AgentSettings settings;
    std::string echo;
};

Parsed parse(const char* options)
{
    Parsed p;
    FILE* f = tmpfile();
    parse_options(options, p.settings, f);
    long n = ftell(f);
    rewind(f);
    p.echo.resize(static_cast<size_t>(n));
    p.echo.resize(fread(p.echo.data(), 1, p.echo.size(), f));
    fclose(f);
    return p;
}

TEST(Options, EchoesEveryItemAndAppliesKnownKeys)
{
    Parsed p = parse("port=5000,debug=0");
    EXPECT_EQ(p.echo, "port=5000,debug=0\ni=2\n1:token=port=5000\nPORT=5000\n1:token=debug=0\ndebug=0\n");
    EXPECT_EQ(p.settings.port, 5000);
    EXPECT_EQ(p.settings.debug, 0);
    EXPECT_EQ(p.settings.kind, 1);  // untouched default
}

TEST(Options, EmptyStringEchoesBlankLineAndKeepsDefaults)
{
    Parsed p = parse("");
    EXPECT_EQ(p.echo, "\ni=0\n");
    EXPECT_EQ(p.settings.port, 12345);
    EXPECT_EQ(p.settings.kind, 1);
    EXPECT_EQ(p.settings.debug, -1);
}

TEST(Options, ValueIsTheRunAfterTheKeyAndLaterItemsOverride)
{
    EXPECT_EQ(parse("port==5000").settings.port, 5000);
    EXPECT_EQ(parse("port=50=00").settings.port, 50);
    EXPECT_EQ(parse("kind=2,,kind=23").settings.kind, 23);
    Parsed p = parse("kind=2,,kind=23");
    EXPECT_EQ(p.echo, "kind=2,,kind=23\ni=2\n1:token=kind=2\nLIMIT=2\n1:token=kind=23\nLIMIT=23\n");
}

TEST(Options, ItemsWithoutKeyOrValueAreIgnored)
{
    Parsed p = parse("port,===,debug=,kind=7");
    EXPECT_EQ(p.settings.port, 12345);
    EXPECT_EQ(p.settings.debug, -1);
    EXPECT_EQ(p.settings.kind, 7);
    EXPECT_EQ(p.echo, "port,===,debug=,kind=7\ni=4\n1:token=port\n1:token====\n1:token=debug=\n1:token=kind=7\nLIMIT=7\n");
}

TEST(Options, OnlyTheFirstTenItemsCount)
{
    std::string opts;
    for (int i = 0; i < 10; i++) opts += "x=" + std::to_string(i) + ",";
    opts += "port=4000";
    Parsed p = parse(opts.c_str());
    EXPECT_NE(p.echo.find("i=10\n"), std::string::npos);
    EXPECT_EQ(p.echo.find("1:token=port=4000"), std::string::npos);
    EXPECT_EQ(p.settings.port, 12345);
}

TEST(Options, NumbersFollowAtoiAndSaturateInsteadOfOverflowing)
{
    EXPECT_EQ(parse("port=12ab").settings.port, 12);
    EXPECT_EQ(parse("debug=abc").settings.debug, 0);
    EXPECT_EQ(parse("kind=-1").settings.kind, -1);
    EXPECT_EQ(parse("port=99999999999999999999").settings.port, 2147483647);
    EXPECT_EQ(parse("port=-99999999999999999999").settings.port, -2147483647 - 1);
}

}  // namespace
