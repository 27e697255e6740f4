// vorlan-cli on heap snapshots: the command line's new commands and options, the
// progress line, and the commands run on a hand-built dump file, text and JSON, with one
// line and status 1 for a file that cannot be read.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "capture_progress.h"
#include "cli_arguments.h"
#include "json_reader.h"
#include "leaky_dump.h"
#include "progress_line.h"
#include "snapshot_commands.h"

namespace {

ParsedArguments parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "vorlan-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    return parseCliArguments(static_cast<int>(argv.size()), argv.data());
}

TEST(SnapshotArguments, DumpsAndTheCommandsOnSnapshots)
{
    const ParsedArguments top = parse({"--hprof", "app.hprof", "top", "--limit", "5", "--weak"});
    ASSERT_EQ(top.error, "");
    EXPECT_EQ(top.command.name, "top");
    EXPECT_EQ(top.command.options.hprof, "app.hprof");
    EXPECT_EQ(top.command.options.limit, 5);
    EXPECT_TRUE(top.command.options.weak);
    EXPECT_TRUE(needsSnapshot(top.command));

    const ParsedArguments dominators = parse({"--json", "--hprof", "a.hprof", "dominators", "s12", "--offset", "25"});
    ASSERT_EQ(dominators.error, "");
    EXPECT_EQ(dominators.command.argument, "s12");
    EXPECT_EQ(dominators.command.options.offset, 25);
    EXPECT_EQ(parse({"--hprof", "a.hprof", "dominators"}).command.argument, "");

    const ParsedArguments suspects = parse({"4242", "suspects", "--threshold", "25"});
    ASSERT_EQ(suspects.error, "");
    EXPECT_DOUBLE_EQ(*suspects.command.options.threshold, 0.25);
    EXPECT_TRUE(needsSnapshot(suspects.command));

    const ParsedArguments retained = parse({"--pid", "4242", "histo", "--retained", "--weak"});
    ASSERT_EQ(retained.error, "");
    EXPECT_TRUE(needsSnapshot(retained.command));
    EXPECT_FALSE(needsSnapshot(parse({"4242", "histo"}).command));
    EXPECT_FALSE(needsSnapshot(parse({"4242", "show", "1a2b"}).command));
    EXPECT_TRUE(needsSnapshot(parse({"--hprof", "a.hprof", "show", "s1"}).command));

    const ParsedArguments compare = parse({"--hprof", "later.hprof", "compare", "earlier.hprof"});
    ASSERT_EQ(compare.error, "");
    EXPECT_EQ(compare.command.argument, "earlier.hprof");
}

TEST(SnapshotArguments, UsageErrors)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--hprof"}, "--hprof needs a value"},
        {{"--hprof", "a", "--pid", "1", "top"}, "--hprof reads a heap dump, --pid and --port name a running VM: give one or the other"},
        {{"--port", "5", "--hprof", "a", "histo"}, "--hprof reads a heap dump, --pid and --port name a running VM: give one or the other"},
        {{"--hprof", "a", "--hprof", "b", "top"}, "two dumps: a and b (compare takes the earlier one as its argument)"},
        {{"--hprof", "a"}, "no command"},
        {{"--hprof", "a", "roots"}, "--hprof does not apply to roots"},
        {{"--hprof", "a", "list"}, "--hprof does not apply to list"},
        {{"compare", "a.hprof"}, "compare needs --hprof LATER.hprof, and the earlier dump as its argument"},
        {{"--hprof", "b", "compare"}, "compare needs a FILE"},
        {{"4242", "find", "X", "--weak"}, "--weak does not apply to find"},
        {{"4242", "histo", "--weak"}, "--weak does not apply to histo"},
        {{"4242", "show", "1", "--retained"}, "--retained does not apply to show"},
        {{"suspects", "--threshold", "0"}, "--threshold needs a percentage from 1 to 100"},
        {{"suspects", "--threshold", "101"}, "--threshold needs a percentage from 1 to 100"},
        {{"top", "--threshold", "5"}, "--threshold does not apply to top"},
        {{"dominators", "s1", "s2"}, "unexpected argument s2"},
        {{"--hprof", "a", "path", "s1", "--depth", "3"}, "--depth does not apply to a heap dump: its path is found at once"},
    };
    for (const auto& [args, error] : cases)
        EXPECT_EQ(parse(args).error, error) << args[0];
    EXPECT_EQ(parse({"--hprof", "a", "find", "X", "--weak"}).error, "");
}

// A live capture on the same line: what it waits for before the dump comes, then the
// bytes (and, when it indexes them, the objects) as they arrive.
TEST(ProgressLine, SaysWhereALiveCaptureIs)
{
    CaptureProgress p;
    p.phase = CapturePhase::Dumping;
    EXPECT_EQ(progressText("the heap", openProgressOf(p)),
              "the heap: the VM collects and writes its heap dump (the program is paused)");
    p.waitingFor = "waiting for another capture of process 4242 (client 17) to finish";
    EXPECT_EQ(progressText("the heap", openProgressOf(p)), "the heap: " + p.waitingFor);
    p.phase = CapturePhase::Reading;
    p.bytes = 12000000;
    EXPECT_EQ(progressText("the heap of process 4242", openProgressOf(p)), "reading the heap of process 4242: 12.0 MB");
    p.objects = 250000;
    EXPECT_EQ(progressText("the heap", openProgressOf(p)), "reading the heap: 12.0 MB, 250,000 objects");
    p.phase = CapturePhase::Sizing;
    EXPECT_EQ(progressText("the heap", openProgressOf(p)), "reading the heap: computing sizes of 250,000 objects");
}

TEST(ProgressLine, SaysThePhaseTheBytesAndTheObjects)
{
    OpenProgress reading{"reading", 312000000, 602000000, 5123456};
    EXPECT_EQ(progressText("heap.hprof", reading), "reading heap.hprof: 312 MB of 602 MB, 5,123,456 objects");
    reading.total = 0;
    EXPECT_EQ(progressText("the heap", reading), "reading the heap: 312 MB, 5,123,456 objects");
    EXPECT_EQ(progressText("a.hprof", {"resolving references", 0, 0, 1000}),
              "reading a.hprof: resolving references of 1,000 objects");
    EXPECT_EQ(progressText("a.hprof", {"dominators and retained sizes", 0, 0, 1000}),
              "analysing a.hprof (1,000 objects): dominators and retained sizes");

    std::ostringstream quiet;
    {
        ProgressLine line(quiet, false, "a.hprof");
        line.update(reading);
    }
    EXPECT_EQ(quiet.str(), "");
    std::ostringstream shown;
    {
        ProgressLine line(shown, true, "a.hprof");
        line.update({"reading", 1000, 2000, 10});
        line.update({"reading", 1500, 2000, 15});  // too soon after: skipped
        line.update({"computing sizes", 2000, 2000, 20});
    }
    EXPECT_EQ(shown.str(), "\rreading a.hprof: 1.00 KB of 2.00 KB, 10 objects\033[K"
                           "\rreading a.hprof: computing sizes of 20 objects\033[K"
                           "\r\033[K");
}

class DumpFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/vorlan-cli-dump-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        const LeakyDump d = leakyDump();
        write("leaky.hprof", d.bytes);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    // Runs vorlan-cli's words on the dump and keeps what it printed.
    int run(std::vector<std::string> words, const std::string& file = "leaky.hprof")
    {
        words.insert(words.begin(), {"--hprof", dir_ + "/" + file});
        const ParsedArguments parsed = parse(words);
        EXPECT_EQ(parsed.error, "");
        out_.str("");
        err_.str("");
        return runSnapshotCommand(parsed.command, out_, err_, false);
    }

    std::string dir_;
    std::ostringstream out_, err_;
};

TEST_F(DumpFile, TopAndEveryHeapCommandAsTextAndJson)
{
    ASSERT_EQ(run({"top", "--limit", "2"}), 0) << err_.str();
    const std::string top = out_.str();
    EXPECT_EQ(top.rfind("heap: ", 0), 0u) << top;
    EXPECT_NE(top.find("\n1. one java.util.HashMap held by LeakyCache.SESSIONS retains "), std::string::npos) << top;
    EXPECT_NE(top.find("\n   path: system class jdk.internal.loader.ClassLoaders$AppClassLoader -> static APP_LOADER -> "
                       "classes -> [0] -> static SESSIONS\n"),
              std::string::npos)
        << top;
    EXPECT_NE(top.find("(retained sizes follow strong references only"), std::string::npos);
    EXPECT_EQ(err_.str(), "");

    ASSERT_EQ(run({"--json", "top", "--limit", "2"}), 0);
    const auto json = readJson(out_.str());
    ASSERT_TRUE(json) << out_.str();
    const std::string map = (*json)["objects"][0]["object"]["id"].text;
    EXPECT_EQ((*json)["objects"].items.size(), 2u);
    EXPECT_EQ((*json)["heap"]["values"].flag, true);

    ASSERT_EQ(run({"show", map}), 0);
    EXPECT_EQ(out_.str().rfind(map + "  java.util.HashMap  ", 0), 0u) << out_.str();
    EXPECT_NE(out_.str().find("  size   int  =   20\n"), std::string::npos) << out_.str();
    ASSERT_EQ(run({"path", map}), 0);
    EXPECT_NE(out_.str().find("static SESSIONS  " + map + "  java.util.HashMap"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("(held by LeakyCache.SESSIONS)"), std::string::npos);
    ASSERT_EQ(run({"--json", "refs", map}), 0);
    EXPECT_EQ((*readJson(out_.str()))["referrers"][0]["via"].text, "static SESSIONS");
    ASSERT_EQ(run({"dominators", map}), 0);
    EXPECT_NE(out_.str().find("java.util.HashMap$Node[]"), std::string::npos) << out_.str();
    ASSERT_EQ(run({"histo", "--retained", "--match", "Session"}), 0);
    EXPECT_NE(out_.str().find("#retained  class name"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("LeakyCache$Session\n"), std::string::npos) << out_.str();
    ASSERT_EQ(run({"--json", "find", "LeakyCache$Session", "--limit", "3"}), 0);
    const auto found = readJson(out_.str());
    ASSERT_TRUE(found);
    EXPECT_EQ((*found)["total"].number, 20);
    EXPECT_EQ((*found)["instances"].items.size(), 3u);
    ASSERT_EQ(run({"suspects", "--threshold", "50"}), 0);
    EXPECT_NE(out_.str().find("objects retaining 50 % of it or more:"), std::string::npos) << out_.str();
}

TEST_F(DumpFile, CompareTwoDumpsOfOneProgramAndRefuseTwoPrograms)
{
    write("smaller.hprof", leakyDump("LeakyCache", 10).bytes);
    write("other.hprof", leakyDump("OtherProgram").bytes);
    ASSERT_EQ(run({"compare", dir_ + "/smaller.hprof"}), 0) << err_.str();
    EXPECT_NE(out_.str().find("+10  "), std::string::npos) << out_.str();
    ASSERT_EQ(run({"--json", "compare", dir_ + "/smaller.hprof"}), 0) << err_.str();
    EXPECT_TRUE(readJson(out_.str()));
    EXPECT_EQ(run({"compare", dir_ + "/other.hprof"}), 1);
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(err_.str(), "vorlan-cli: " + dir_ + "/other.hprof and " + dir_ +
                              "/leaky.hprof: these are two different programs: the first runs OtherProgram.main, the "
                              "second LeakyCache.main\n");
}

TEST_F(DumpFile, BadFilesAndBadNamesAreOneLineWithStatusOne)
{
    std::vector<uint8_t> cut = leakyDump().bytes;
    cut.resize(cut.size() - 100);
    write("cut.hprof", cut);
    EXPECT_EQ(run({"top"}, "cut.hprof"), 1);
    EXPECT_EQ(out_.str(), "");
    const std::string truncated = err_.str();
    EXPECT_EQ(truncated.rfind("vorlan-cli: " + dir_ + "/cut.hprof: truncated record at byte ", 0), 0u) << truncated;
    EXPECT_EQ(std::count(truncated.begin(), truncated.end(), '\n'), 1);

    const std::string text = "a text file, and nothing like a heap dump at all\n";
    write("text.hprof", std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(run({"histo"}, "text.hprof"), 1);
    EXPECT_EQ(err_.str(), "vorlan-cli: " + dir_ + "/text.hprof: not a heap dump at byte 0: it does not start with "
                                                  "\"JAVA PROFILE 1.0.2\"\n");

    EXPECT_EQ(run({"show", "s100000"}), 1);
    EXPECT_NE(err_.str().find("s100000 names no object"), std::string::npos) << err_.str();
    EXPECT_EQ(run({"dominators", "1a2b"}), 1);
    EXPECT_NE(err_.str().find("1a2b is a live handle"), std::string::npos) << err_.str();
}

TEST(LiveSnapshot, WithoutADumpTheRunningVmIsAskedAndAFailureIsOneLine)
{
    const ParsedArguments parsed = parse({"4242", "top"});
    ASSERT_EQ(parsed.error, "");
    std::ostringstream out, err;
    EXPECT_EQ(runSnapshotCommand(parsed.command, out, err, false), 1);
    EXPECT_EQ(out.str(), "");
    const std::string line = err.str();
    EXPECT_EQ(line.rfind("vorlan-cli: ", 0), 0u);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
}

}  // namespace
