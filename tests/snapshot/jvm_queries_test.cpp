// The snapshot's queries and vorlan-cli --hprof on heap dumps of a real JVM (the JDK
// named by VORLAN_TEST_JAVA, else the build's) running LeakyTarget, whose static map of
// sessions holds most of the heap: its retained size against what becomes unreachable
// without it, its accumulation point, path and referrers, the histogram with retained
// sizes, comparing two dumps after the map grew, refusing a dump of another program, and
// the command line end to end, text and JSON, plain and gzip, and on a broken file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "brute_force.h"
#include "java_text.h"
#include "json_reader.h"
#include "jvm_process.h"
#include "snapshot_open.h"

namespace {

constexpr int kSessions = 20000;

std::string jcmd()
{
    const char* java = getenv("VORLAN_TEST_JAVA");
    return (std::filesystem::path(java && *java ? java : VORLAN_JAVA).parent_path() / "jcmd").string();
}

void dumpHeap(pid_t pid, const std::string& file, bool gzip = false)
{
    std::vector<std::string> command = {jcmd(), std::to_string(pid), "GC.heap_dump"};
    if (gzip)
        command.push_back("-gz=1");
    command.push_back(file);
    const CommandResult r = run_command(command);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
}

// Bytes and instances per class, as jcmd counts them.
std::map<std::string, std::pair<uint64_t, uint64_t>> jcmdHistogram(pid_t pid)
{
    const CommandResult r = run_command({jcmd(), std::to_string(pid), "GC.class_histogram"});
    std::map<std::string, std::pair<uint64_t, uint64_t>> rows;
    std::istringstream lines(r.out);
    std::string line;
    const std::regex row("^\\s*\\d+:\\s+(\\d+)\\s+(\\d+)\\s+(\\S+)");
    std::smatch m;
    while (std::getline(lines, line)) {
        if (std::regex_search(line, m, row))
            rows[m[3]] = {std::stoull(m[1]), std::stoull(m[2])};
    }
    return rows;
}

CommandResult cli(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {VORLAN_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_command(argv);
}

class LeakyJvm : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char dir[] = "/tmp/vorlan-leaky-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        {
            JvmLaunch launch;
            launch.load_agent = false;
            launch.main_class = "LeakyTarget";
            launch.program_args = {std::to_string(kSessions), dir_ + "/grow"};
            launch.jvm_flags = {"-Xmx256m"};
            JvmProcess jvm(launch);
            ASSERT_TRUE(jvm.wait_for_output("ready")) << jvm.err();
            histogram_ = jcmdHistogram(jvm.pid());
            dumpHeap(jvm.pid(), first());
            dumpHeap(jvm.pid(), dir_ + "/first.hprof.gz", true);
            std::ofstream(dir_ + "/grow") << "grow\n";
            ASSERT_TRUE(jvm.wait_for_output("grown")) << jvm.err();
            dumpHeap(jvm.pid(), dir_ + "/second.hprof");
        }
        {
            JvmLaunch launch;
            launch.load_agent = false;
            launch.main_class = "SnapshotTarget";
            launch.jvm_flags = {"-Xmx128m"};
            JvmProcess jvm(launch);
            ASSERT_TRUE(jvm.wait_for_output("ready")) << jvm.err();
            dumpHeap(jvm.pid(), dir_ + "/other.hprof");
        }
        snapshot_ = openSnapshotFile(first()).release();
    }
    static void TearDownTestSuite()
    {
        delete snapshot_;
        snapshot_ = nullptr;
        std::filesystem::remove_all(dir_);
    }
    void SetUp() override
    {
        if (!snapshot_)
            GTEST_SKIP() << "the dumps could not be taken";
    }

    static std::string first() { return dir_ + "/first.hprof"; }
    static const Snapshot& snapshot() { return *snapshot_; }
    static uint32_t theMap()
    {
        const TopReply top = snapshot_->top(1);
        return top.rows.empty() ? kNoObject : top.rows[0].object.object;
    }

    static std::string dir_;
    static std::map<std::string, std::pair<uint64_t, uint64_t>> histogram_;
    static Snapshot* snapshot_;
};
std::string LeakyJvm::dir_;
std::map<std::string, std::pair<uint64_t, uint64_t>> LeakyJvm::histogram_;
Snapshot* LeakyJvm::snapshot_ = nullptr;

TEST_F(LeakyJvm, TheMapOfSessionsIsTheBiggestRetainer)
{
    const TopReply top = snapshot().top(3);
    ASSERT_FALSE(top.rows.empty());
    const BigObjectRow& big = top.rows[0];
    EXPECT_EQ(big.object.type, "java.util.HashMap");
    EXPECT_EQ(big.path.heldBy, "LeakyTarget.SESSIONS");
    EXPECT_EQ(big.accumulation.type, "java.util.HashMap$Node[]");
    EXPECT_GT(big.accumulationChildren, kSessions / 2u);
    EXPECT_EQ(big.sentence.rfind("one java.util.HashMap held by LeakyTarget.SESSIONS retains " +
                                     bytesText(big.object.retained) + " (" + shareText(big.object.share) + "): ",
                                 0),
              0u)
        << big.sentence;
    EXPECT_NE(big.sentence.find("java.util.HashMap$Node holding Session objects"), std::string::npos) << big.sentence;
    EXPECT_GT(big.object.share, 0.5);

    // Its retained size is what becomes unreachable without it: every session with its
    // payload and events, but not the guest user they all share with a static.
    const HeapGraph& graph = snapshot().index().graph;
    const auto out = adjacency(graph, false);
    const std::vector<char> all = reachableWithout(graph, out, kNoObject);
    const std::vector<char> without = reachableWithout(graph, out, big.object.object);
    uint64_t freed = 0;
    bool guestKept = false;
    for (uint32_t o = 0; o < graph.objects; ++o) {
        if (all[o] && !without[o])
            freed += graph.shallowSize(o);
        if (snapshot().index().className(graph.classOf[o]) == "User")
            guestKept = guestKept || without[o];
    }
    EXPECT_EQ(big.object.retained, freed);
    EXPECT_TRUE(guestKept);
}

TEST_F(LeakyJvm, PathAndReferrersOfTheMap)
{
    const uint32_t map = theMap();
    ASSERT_NE(map, kNoObject);
    const RootPathReply path = snapshot().path(map);
    EXPECT_EQ(path.found, "strong");
    ASSERT_GE(path.steps.size(), 2u);
    EXPECT_FALSE(path.roots.empty());
    EXPECT_EQ(path.steps.back().via, "static SESSIONS");
    EXPECT_EQ(path.steps[path.steps.size() - 2].object.preview, "class LeakyTarget");
    for (size_t i = 1; i < path.steps.size(); ++i)
        EXPECT_FALSE(snapshot().index().edgesBetween(path.steps[i - 1].object.object, path.steps[i].object.object).empty())
            << path.steps[i].via;

    const ReferrersReply referrers = snapshot().referrers(map, 10);
    EXPECT_EQ(referrers.total, 1u);
    ASSERT_EQ(referrers.rows.size(), 1u);
    EXPECT_EQ(referrers.rows[0].via, "static SESSIONS");
    EXPECT_EQ(referrers.rows[0].holder.preview, "class LeakyTarget");
    EXPECT_TRUE(referrers.roots.empty());

    const DominatorsReply below = snapshot().dominators(map, 0, 5);
    ASSERT_FALSE(below.rows.empty());
    EXPECT_EQ(below.rows[0].object.type, "java.util.HashMap$Node[]");
}

TEST_F(LeakyJvm, HistogramWithRetainedSizesAndInstancesInOrder)
{
    HistogramQuery query;
    query.byRetained = true;
    const HistogramReply histo = snapshot().histogram(query);
    for (size_t i = 1; i < histo.rows.size(); ++i)
        EXPECT_GE(histo.rows[i - 1].retained, histo.rows[i].retained);
    const auto session = std::find_if(histo.rows.begin(), histo.rows.end(),
                                      [](const HistogramRow& r) { return r.className == "Session"; });
    ASSERT_NE(session, histo.rows.end());
    EXPECT_EQ(session->objects, static_cast<uint64_t>(kSessions));
    EXPECT_EQ(session->objects, histogram_["Session"].first);
    EXPECT_EQ(session->shallow, histogram_["Session"].second);

    const InstancesReply all = snapshot().instances("Session", false, 0, kSessions);
    EXPECT_EQ(all.total, static_cast<uint64_t>(kSessions));
    uint64_t retained = 0;
    for (size_t i = 0; i < all.rows.size(); ++i) {
        retained += all.rows[i].retained;
        if (i > 0) {
            EXPECT_GE(all.rows[i - 1].retained, all.rows[i].retained);
        }
    }
    EXPECT_EQ(session->retained, retained);  // no session holds another
    EXPECT_GE(snapshot().instances("java.util.AbstractMap", true, 0, 1).total, 1u);
}

TEST_F(LeakyJvm, ShowReadsValuesFromTheFile)
{
    const uint32_t map = theMap();
    ASSERT_NE(map, kNoObject);
    const ObjectReply shown = snapshot().show(map);
    EXPECT_TRUE(shown.values);
    auto size = std::find_if(shown.slots.begin(), shown.slots.end(), [](const ObjectSlot& s) { return s.name == "size"; });
    ASSERT_NE(size, shown.slots.end());
    EXPECT_EQ(size->value, std::to_string(kSessions));

    const InstancesReply one = snapshot().instances("Session", false, 0, 1);
    ASSERT_EQ(one.rows.size(), 1u);
    const ObjectReply session = snapshot().show(one.rows[0].object);
    uint32_t payload = kNoObject;
    for (const ObjectSlot& s : session.slots) {
        if (s.name == "id") {
            EXPECT_EQ(s.target.preview.rfind("\"session-", 0), 0u) << s.target.preview;
        }
        if (s.name == "payload")
            payload = s.target.object;
    }
    ASSERT_NE(payload, kNoObject);
    EXPECT_EQ(snapshot().show(payload).length, 512);
}

TEST_F(LeakyJvm, CompareSeesTheGrowthAndRefusesAnotherProgram)
{
    const ClassProfile before = snapshot().profile();
    EXPECT_EQ(before.mainMethod, "LeakyTarget.main");
    const ClassProfile after = openSnapshotFile(dir_ + "/second.hprof")->profile();
    const CompareReply grew = compareSnapshots(before, after);
    ASSERT_TRUE(grew.comparable) << grew.refusal;
    ASSERT_FALSE(grew.rows.empty());
    for (size_t i = 1; i < grew.rows.size(); ++i)
        EXPECT_GE(grew.rows[i - 1].retained, grew.rows[i].retained);
    const auto session = std::find_if(grew.rows.begin(), grew.rows.end(),
                                      [](const ClassDelta& d) { return d.className == "Session"; });
    ASSERT_NE(session, grew.rows.end());
    EXPECT_EQ(session->objects, kSessions);
    EXPECT_GT(grew.reachableBytes, static_cast<int64_t>(kSessions) * 512);

    const CompareReply other = compareSnapshots(before, openSnapshotFile(dir_ + "/other.hprof")->profile());
    EXPECT_FALSE(other.comparable);
    EXPECT_NE(other.refusal.find("LeakyTarget.main"), std::string::npos) << other.refusal;
    EXPECT_NE(other.refusal.find("SnapshotTarget.main"), std::string::npos) << other.refusal;
}

TEST_F(LeakyJvm, CommandLineTextAndJson)
{
    const CommandResult text = cli({"--hprof", first(), "top", "--limit", "3"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("heap: ", 0), 0u) << text.out;
    EXPECT_NE(text.out.find("\n1. one java.util.HashMap held by LeakyTarget.SESSIONS retains "), std::string::npos)
        << text.out;
    EXPECT_EQ(text.err, "");  // no progress line: standard error is no terminal

    const CommandResult json = cli({"--json", "--hprof", first(), "top", "--limit", "3"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto top = readJson(json.out);
    ASSERT_TRUE(top) << json.out;
    const JsonValue& big = (*top)["objects"][0];
    EXPECT_EQ(big["object"]["type"].text, "java.util.HashMap");
    EXPECT_EQ(big["path"]["held_by"].text, "LeakyTarget.SESSIONS");
    EXPECT_EQ(big["accumulation"]["type"].text, "java.util.HashMap$Node[]");
    const std::string id = big["object"]["id"].text;
    EXPECT_EQ(id.rfind("s", 0), 0u);

    // Every heap command on the same dump, by the id top gave.
    const auto path = readJson(cli({"--json", "--hprof", first(), "path", id}).out);
    ASSERT_TRUE(path);
    EXPECT_EQ((*path)["steps"].items.back()["via"].text, "static SESSIONS");
    const auto refs = readJson(cli({"--json", "--hprof", first(), "refs", id}).out);
    ASSERT_TRUE(refs);
    EXPECT_EQ((*refs)["total"].number, 1);
    const auto shown = readJson(cli({"--json", "--hprof", first(), "show", id}).out);
    ASSERT_TRUE(shown);
    EXPECT_GT((*shown)["object"]["retained"].number, (*shown)["object"]["shallow"].number);
    const auto dominated = readJson(cli({"--json", "--hprof", first(), "dominators", id, "--limit", "1"}).out);
    ASSERT_TRUE(dominated);
    EXPECT_EQ((*dominated)["dominated"][0]["object"]["type"].text, "java.util.HashMap$Node[]");
    const CommandResult histo = cli({"--hprof", first(), "histo", "--retained", "--top", "5"});
    ASSERT_EQ(histo.status, 0) << histo.err;
    EXPECT_NE(histo.out.find("#retained"), std::string::npos);
    const auto found = readJson(cli({"--json", "--hprof", first(), "find", "Session", "--limit", "2"}).out);
    ASSERT_TRUE(found);
    EXPECT_EQ((*found)["total"].number, kSessions);
    EXPECT_EQ((*found)["instances"].items.size(), 2u);
    const auto suspects = readJson(cli({"--json", "--hprof", first(), "suspects"}).out);
    ASSERT_TRUE(suspects);
    EXPECT_EQ((*suspects)["objects"][0]["object"]["id"].text, id);
    const CommandResult compared = cli({"--hprof", dir_ + "/second.hprof", "compare", first()});
    ASSERT_EQ(compared.status, 0) << compared.err;
    EXPECT_NE(compared.out.find("Session"), std::string::npos);
    const CommandResult refused = cli({"--hprof", dir_ + "/other.hprof", "compare", first()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("two different programs"), std::string::npos) << refused.err;

    // The gzip dump says the same.
    const CommandResult gzip = cli({"--hprof", dir_ + "/first.hprof.gz", "top", "--limit", "3"});
    ASSERT_EQ(gzip.status, 0) << gzip.err;
    EXPECT_EQ(gzip.out, text.out);
}

TEST_F(LeakyJvm, CommandLineErrorsAreOneLineWithStatusOne)
{
    // The dump cut in half: one line naming the file and the byte.
    const std::string cut = dir_ + "/cut.hprof";
    {
        std::ifstream in(first(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    }
    const CommandResult truncated = cli({"--hprof", cut, "top"});
    EXPECT_EQ(truncated.status, 1);
    EXPECT_EQ(truncated.out, "");
    EXPECT_EQ(std::count(truncated.err.begin(), truncated.err.end(), '\n'), 1) << truncated.err;
    EXPECT_EQ(truncated.err.rfind("vorlan-cli: " + cut + ": truncated record at byte ", 0), 0u) << truncated.err;

    const CommandResult missing = cli({"--hprof", dir_ + "/none.hprof", "histo"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot open " + dir_ + "/none.hprof"), std::string::npos) << missing.err;

    const CommandResult handle = cli({"--hprof", first(), "show", "1a2b"});
    EXPECT_EQ(handle.status, 1);
    EXPECT_NE(handle.err.find("1a2b is a live handle"), std::string::npos) << handle.err;
    const CommandResult unknown = cli({"--hprof", first(), "find", "no.such.Class"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "vorlan-cli: the snapshot has no class named no.such.Class\n");
}

}  // namespace
