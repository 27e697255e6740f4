// vorlan-cli's heap commands against the agent in a real JVM (ExploreTarget's graph).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include "../cli/json_reader.h"
#include "jvm_process.h"

namespace {

const std::string CLI = VORLAN_TOOLS_DIR "/vorlan-cli";
const std::string T = "ExploreTarget$";

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class CliE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (access(CLI.c_str(), X_OK) != 0) GTEST_SKIP() << "vorlan-cli not built";
    }

    void start(bool with_agent, const std::string& main_class = "ExploreTarget")
    {
        port = free_port();
        JvmLaunch launch;
        launch.agent_options = "port=" + std::to_string(port);
        launch.load_agent = with_agent;
        launch.main_class = main_class;
        jvm = std::make_unique<JvmProcess>(launch);
        ASSERT_TRUE(jvm->wait_for_output("ready")) << jvm->err();
        if (with_agent) {
            ASSERT_TRUE(jvm->wait_listening(port)) << jvm->err();
        }
    }

    CommandResult cli(std::vector<std::string> args)
    {
        args.insert(args.begin(), {CLI, "--port", std::to_string(port)});
        return run_command(args);
    }

    // The handle of the only instance of a class, from find's first column.
    std::string only_instance(const std::string& cls)
    {
        CommandResult r = cli({"find", cls});
        EXPECT_EQ(r.status, 0) << r.err;
        const auto lines = lines_of(r.out);
        EXPECT_EQ(lines.size(), 1u) << r.out;
        return lines.empty() ? "" : lines[0].substr(0, lines[0].find(' '));
    }

    int port = 0;
    std::unique_ptr<JvmProcess> jvm;
};

TEST_F(CliE2E, ShowQualifiesShadowedFieldsAndUnknownHandlesFail)
{
    start(true);
    const std::string h = only_instance(T + "Fields");
    ASSERT_FALSE(h.empty());
    CommandResult show = cli({"show", h});
    ASSERT_EQ(show.status, 0) << show.err;
    const auto lines = lines_of(show.out);
    ASSERT_GT(lines.size(), 10u) << show.out;
    EXPECT_EQ(lines[0].rfind(h + "  " + T + "Fields  ", 0), 0u) << lines[0];
    auto line_with = [&](const std::string& start) {
        for (const auto& l : lines)
            if (l.rfind("  " + start + " ", 0) == 0) return l;
        return std::string();
    };
    // Base and Fields both declare shade and ref; the other fields are named alone.
    EXPECT_NE(line_with(T + "Base.shade").find("=   1"), std::string::npos) << show.out;
    EXPECT_NE(line_with(T + "Fields.shade").find("=   2"), std::string::npos) << show.out;
    EXPECT_NE(line_with(T + "Fields.ref").find("\"held-by-fields\""), std::string::npos) << show.out;
    EXPECT_NE(line_with("j").find("-9876543210"), std::string::npos) << show.out;
    EXPECT_NE(line_with("ints").find("[I"), std::string::npos) << show.out;
    EXPECT_EQ(line_with("shade"), "");

    CommandResult unknown = cli({"show", "7ffffff0"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(std::count(unknown.err.begin(), unknown.err.end(), '\n'), 1) << unknown.err;
    EXPECT_EQ(unknown.err.rfind("vorlan-cli: ", 0), 0u) << unknown.err;
    EXPECT_NE(unknown.err.find("7ffffff0"), std::string::npos) << unknown.err;
    EXPECT_EQ(cli({"find", "no.such.Klass"}).status, 1);
}

TEST_F(CliE2E, HistogramAsJsonReadsBackInJcmdsOrder)
{
    start(true);
    CommandResult r = cli({"--json", "histo", "--top", "10"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto doc = readJson(r.out);
    ASSERT_TRUE(doc) << r.out;
    const JsonValue& rows = (*doc)["rows"];
    ASSERT_EQ(rows.items.size(), 10u);
    for (size_t i = 1; i < rows.items.size(); ++i) EXPECT_GE(rows[i - 1]["bytes"].number, rows[i]["bytes"].number);
    EXPECT_GT((*doc)["classes"].number, 10);
    EXPECT_GE((*doc)["figures"]["gc_ms"].number, 0);
    EXPECT_EQ(rows[0]["num"].number, 1);

    CommandResult mine = cli({"histo", "--match", "ExploreTarget$"});
    ASSERT_EQ(mine.status, 0) << mine.err;
    const auto lines = lines_of(mine.out);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], " num     #instances         #bytes  class name");
    // num, #instances, #bytes, class name; only the matching classes, one Fields.
    int fields = 0;
    for (size_t i = 2; i < lines.size() && lines[i].rfind("Total", 0) != 0; ++i) {
        std::istringstream row(lines[i]);
        std::string num, name;
        long long instances = 0, bytes = 0;
        row >> num >> instances >> bytes >> name;
        EXPECT_EQ(num, std::to_string(i - 1) + ":");
        EXPECT_NE(name.find(T), std::string::npos) << lines[i];
        if (name == T + "Fields") fields += static_cast<int>(instances);
    }
    EXPECT_EQ(fields, 1) << mine.out;
}

TEST_F(CliE2E, FindPagesAndRefsNameTheHoldingField)
{
    start(true);
    // ExploreTarget pins 3000 Integers in an array, and the VM caches more.
    CommandResult page = cli({"find", "java.lang.Integer", "--limit", "5", "--offset", "10"});
    ASSERT_EQ(page.status, 0) << page.err;
    const auto lines = lines_of(page.out);
    ASSERT_EQ(lines.size(), 6u) << page.out;
    EXPECT_EQ(lines[5].rfind("(11-15 of ", 0), 0u) << lines[5];
    CommandResult json = cli({"--json", "find", "java.lang.Number", "--subclasses", "--limit", "3"});
    const auto doc = readJson(json.out);
    ASSERT_TRUE(doc) << json.out;
    EXPECT_GE((*doc)["total"].number, 3000);
    EXPECT_EQ((*doc)["instances"].items.size(), 3u);

    CommandResult refs = cli({"refs", only_instance(T + "Tracked")});
    ASSERT_EQ(refs.status, 0) << refs.err;
    EXPECT_NE(refs.out.find("  java.util.HashMap$Node  "), std::string::npos) << refs.out;
    EXPECT_NE(refs.out.find("  field value"), std::string::npos) << refs.out;
}

TEST_F(CliE2E, PathPrintsTheRootByNameThenOneFlatRowPerStep)
{
    start(true);
    const std::string tracked = only_instance(T + "Tracked");
    CommandResult r = cli({"path", tracked});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = lines_of(r.out);
    ASSERT_GE(lines.size(), 5u) << r.out;
    // Registry.ENTRIES holds the map that holds the Tracked object.
    EXPECT_EQ(lines[0], "root: static field " + T + "Registry.ENTRIES") << r.out;
    EXPECT_EQ(lines[1].rfind("held by", 0), 0u) << r.out;
    size_t last = 1;
    while (last + 1 < lines.size() && lines[last + 1].rfind("(", 0) != 0) ++last;
    for (size_t i = 1; i <= last; ++i)
        EXPECT_NE(lines[i][0], ' ') << "indented: " << lines[i];
    EXPECT_NE(r.out.find("static ENTRIES  "), std::string::npos) << r.out;
    std::istringstream cells(lines[last]);
    std::string field, type, handle;
    cells >> field >> type >> handle;
    EXPECT_EQ(field + " " + type + " " + handle, "value " + T + "Tracked " + tracked) << r.out;

    if (collector_clears_soft_references())
        return;
    CommandResult weak = cli({"--json", "path", only_instance(T + "SoftlyHeld")});
    const auto doc = readJson(weak.out);
    ASSERT_TRUE(doc) << weak.out;
    EXPECT_EQ((*doc)["found"].text, "weak");
    EXPECT_EQ((*doc)["steps"].items.back()["name"].text, "referent");
}

// A value to the object that holds it: find the String by its text, then its path names
// every holder from the root down; the session's attributes show as their entries.
TEST_F(CliE2E, AValueLeadsToItsHolderInTwoCommands)
{
    start(true, "SessionsTarget");
    CommandResult found = cli({"find", "java.lang.String", "--contains", "value-7"});
    ASSERT_EQ(found.status, 0) << found.err;
    const auto rows = lines_of(found.out);
    ASSERT_EQ(rows.size(), 1u) << found.out;
    EXPECT_NE(rows[0].find("\"value-7\""), std::string::npos) << found.out;
    const std::string value = rows[0].substr(0, rows[0].find(' '));

    CommandResult path = cli({"path", value});
    ASSERT_EQ(path.status, 0) << path.err;
    const auto lines = lines_of(path.out);
    EXPECT_EQ(lines[0], "root: static field SessionsTarget.SESSIONS") << path.out;
    std::string session, attributes;
    for (const std::string& line : lines) {
        std::istringstream cells(line);
        std::string field, type, handle;
        cells >> field >> type >> handle;
        if (type == "SessionsTarget$Session") session = handle;
        if (field == "attributes") attributes = handle;
    }
    ASSERT_FALSE(session.empty()) << path.out;
    ASSERT_FALSE(attributes.empty()) << path.out;
    size_t last = lines.size() - 1;
    while (last > 0 && lines[last].rfind("(", 0) == 0) --last;
    EXPECT_NE(lines[last].find("\"value-7\""), std::string::npos) << path.out;

    // The same node found by the field that holds the text.
    CommandResult node = cli({"find", "java.util.concurrent.ConcurrentHashMap$Node", "--contains", "value-7"});
    ASSERT_EQ(node.status, 0) << node.err;
    EXPECT_EQ(lines_of(node.out).size(), 1u) << node.out;

    CommandResult map = cli({"show", attributes});
    ASSERT_EQ(map.status, 0) << map.err;
    const auto entries = lines_of(map.out);
    ASSERT_EQ(entries.size(), 2u) << map.out;
    EXPECT_NE(entries[0].find("java.util.concurrent.ConcurrentHashMap"), std::string::npos) << map.out;
    EXPECT_NE(entries[0].find("size 1  capacity 16"), std::string::npos) << map.out;
    EXPECT_NE(entries[1].find("\"user7\"  ->  \"value-7\""), std::string::npos) << map.out;

    CommandResult internals = cli({"show", attributes, "--internals"});
    ASSERT_EQ(internals.status, 0) << internals.err;
    EXPECT_NE(internals.out.find("table "), std::string::npos) << internals.out;
    EXPECT_NE(internals.out.find("baseCount"), std::string::npos) << internals.out;

    const auto doc = readJson(cli({"--json", "show", attributes}).out);
    ASSERT_TRUE(doc);
    EXPECT_EQ((*doc)["collection"]["entries"].items.at(0)["key"]["preview"].text, "\"user7\"");
    EXPECT_EQ((*doc)["collection"]["capacity"].number, 16);
}

TEST_F(CliE2E, PidLoadsTheAgentWhenNothingListens)
{
    start(false);
    CommandResult r = cli({"--pid", std::to_string(jvm->pid()), "find", T + "Fields"});
    ASSERT_EQ(r.status, 0) << r.err << jvm->err();
    EXPECT_EQ(lines_of(r.out).size(), 1u) << r.out;
    // The agent listens now: a second --pid connects without loading it again.
    CommandResult again = cli({"--pid", std::to_string(jvm->pid()), "histo", "--top", "1"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(jvm->err().find("already loaded"), std::string::npos) << jvm->err();

    CommandResult none = cli({"--pid", "999999999", "--port", std::to_string(free_port()), "histo"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "vorlan-cli: cannot load the agent into process 999999999: no process with id 999999999\n");
}

}  // namespace
