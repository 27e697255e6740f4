#include "cli_arguments.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ParsedArguments parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "vorlan-cli");
    return parseCliArguments(static_cast<int>(args.size()), args.data());
}

TEST(CliArguments, OptionsBeforeOrAfterTheCommandReachIt)
{
    const ParsedArguments find = parse({"--port", "5005", "find", "java.util.HashMap", "--limit", "20",
                                        "--subclasses", "--offset", "40", "--json"});
    ASSERT_EQ(find.error, "");
    EXPECT_EQ(find.command.name, "find");
    EXPECT_EQ(find.command.argument, "java.util.HashMap");
    EXPECT_EQ(find.command.options.port, 5005);
    EXPECT_EQ(find.command.options.limit, 20);
    EXPECT_EQ(find.command.options.offset, 40);
    EXPECT_TRUE(find.command.options.subclasses);
    EXPECT_TRUE(find.command.options.json);

    const ParsedArguments histo = parse({"histo", "--top", "5", "--match", "java.util", "--pid", "4242"});
    ASSERT_EQ(histo.error, "");
    EXPECT_EQ(histo.command.options.limit, 5);
    EXPECT_EQ(histo.command.options.match, "java.util");
    EXPECT_EQ(histo.command.options.pid, 4242);

    const ParsedArguments path = parse({"path", "1a2b", "--weak", "--depth", "3"});
    EXPECT_TRUE(path.command.options.weak);
    EXPECT_TRUE(path.command.options.depthGiven);
    EXPECT_FALSE(parse({"path", "1a2b"}).command.options.depthGiven);
    EXPECT_TRUE(parse({"tree"}).error.empty());
    EXPECT_TRUE(parse({"--help", "nonsense"}).help);
}

TEST(CliArguments, AFirstNumberIsAPidAndNoCommandLists)
{
    const ParsedArguments byPid = parse({"4242", "find", "java.util.HashMap", "--limit", "3"});
    ASSERT_EQ(byPid.error, "");
    EXPECT_EQ(byPid.command.name, "find");
    EXPECT_EQ(byPid.command.argument, "java.util.HashMap");
    EXPECT_EQ(byPid.command.options.pid, 4242);
    EXPECT_FALSE(byPid.command.options.portGiven);

    // Options may stand before it; a number after the command is that command's argument.
    const ParsedArguments afterOptions = parse({"--json", "4242", "histo"});
    ASSERT_EQ(afterOptions.error, "");
    EXPECT_EQ(afterOptions.command.options.pid, 4242);
    EXPECT_TRUE(afterOptions.command.options.json);
    const ParsedArguments handle = parse({"expand", "1234"});
    ASSERT_EQ(handle.error, "");
    EXPECT_EQ(handle.command.argument, "1234");
    EXPECT_EQ(handle.command.options.pid, 0);

    const ParsedArguments withPort = parse({"--pid", "4242", "--port", "5005", "roots"});
    ASSERT_EQ(withPort.error, "");
    EXPECT_TRUE(withPort.command.options.portGiven);

    for (const auto& args : {std::vector<const char*>{}, {"list"}, {"--json"}}) {
        const ParsedArguments list = parse(args);
        EXPECT_EQ(list.error, "");
        EXPECT_EQ(list.command.name, "list");
    }
    EXPECT_TRUE(parse({"--version", "roots"}).version);
}

TEST(CliArguments, UsageErrorsSayWhatIsWrong)
{
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{"--port", "5005"}, "no command"},
        {{"--pid", "4242"}, "no command"},
        {{"4242"}, "no command for process 4242"},
        {{"4242", "histo", "--pid", "77"}, "two process ids: 4242 and 77"},
        {{"list", "--pid", "4242"}, "--pid does not apply to list"},
        {{"--raw"}, "--raw does not apply to list"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {{"show"}, "show needs a HANDLE"},
        {{"find"}, "find needs a CLASS"},
        {{"refs", "1", "2"}, "unexpected argument 2"},
        {{"histo", "--weak"}, "--weak does not apply to histo"},
        {{"show", "1", "--top", "3"}, "--top does not apply to show"},
        {{"roots", "--raw", "--json"}, "--raw and --json do not go together"},
        {{"find", "X", "--limit", "0"}, "--limit needs a number of 1 or more"},
        {{"show", "1", "--offset", "-1"}, "--offset needs a number of 0 or more"},
        {{"tree", "--depth", "0"}, "--depth needs a number of 1 or more"},
        {{"histo", "--pid", "abc"}, "--pid needs a process id"},
        {{"histo", "--match"}, "--match needs a value"},
        {{"show", "1", "--bogus"}, "unknown option --bogus"},
    };
    for (const auto& [args, error] : cases)
        EXPECT_EQ(parse(args).error, error) << (args.empty() ? "" : args[0]);
}

// dump takes a file, --force and a compression level; live needs the dump its object
// is from, and unlike the other --hprof commands it also names the running VM.
TEST(CliArguments, DumpAndLive)
{
    const ParsedArguments dump = parse({"4242", "dump", "/tmp/a.hprof", "--force", "--gz", "3"});
    ASSERT_EQ(dump.error, "");
    EXPECT_EQ(dump.command.name, "dump");
    EXPECT_EQ(dump.command.argument, "/tmp/a.hprof");
    EXPECT_EQ(dump.command.options.pid, 4242);
    EXPECT_TRUE(dump.command.options.force);
    EXPECT_EQ(dump.command.options.gzipLevel, 3);
    EXPECT_EQ(parse({"4242", "dump"}).error, "dump needs a FILE");
    EXPECT_NE(parse({"4242", "dump", "a.hprof", "--gz", "0"}).error.find("a compression level from 1 to 9"),
              std::string::npos);
    EXPECT_EQ(parse({"4242", "show", "1a", "--force"}).error, "--force does not apply to show");
    EXPECT_EQ(parse({"4242", "dump", "a.hprof", "--hprof", "b.hprof"}).error, "--hprof does not apply to dump");

    const ParsedArguments live = parse({"--pid", "4242", "live", "s17", "--hprof", "a.hprof"});
    ASSERT_EQ(live.error, "");
    EXPECT_EQ(live.command.argument, "s17");
    EXPECT_EQ(live.command.options.hprof, "a.hprof");
    EXPECT_EQ(live.command.options.pid, 4242);
    EXPECT_EQ(parse({"4242", "live", "s17"}).error, "live needs --hprof FILE, the heap dump OBJ is from");
    EXPECT_NE(parse({"--pid", "4242", "top", "--hprof", "a.hprof"}).error.find("give one or the other"),
              std::string::npos);
}

}  // namespace
