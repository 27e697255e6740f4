// The framed requests against a real JVM whose graph is known (ExploreTarget).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "agent_connection.h"
#include "agent_session.h"
#include "jvm_process.h"
#include "records.h"
#include "root_names.h"

namespace {

const std::string T = "ExploreTarget$";

InstancesQuery instances_of(const std::string& cls, bool subclasses = false, long long limit = 100)
{
    InstancesQuery q;
    q.className = cls;
    q.subclasses = subclasses;
    q.limit = limit;
    return q;
}

ObjectQuery object_of(const std::string& handle, long long offset = 0, long long limit = 1000)
{
    ObjectQuery q;
    q.handle = handle;
    q.offset = offset;
    q.limit = limit;
    return q;
}

ReferrersQuery referrers_of(const std::string& handle)
{
    ReferrersQuery q;
    q.handle = handle;
    return q;
}

PathQuery path_of(const std::string& handle, bool weak = false)
{
    PathQuery q;
    q.handle = handle;
    q.throughWeak = weak;
    return q;
}

HistoQuery histo_matching(const std::string& match)
{
    HistoQuery q;
    q.match = match;
    return q;
}

class FramedE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = free_port();
        JvmLaunch launch;
        launch.agent_options = "port=" + std::to_string(port);
        launch.main_class = "ExploreTarget";
        late_trigger = "/tmp/vorlan-late-" + std::to_string(getpid()) + "-" + std::to_string(port);
        launch.jvm_flags = {"-Dvorlan.late=" + late_trigger};
        jvm = std::make_unique<JvmProcess>(launch);
        ASSERT_TRUE(jvm->wait_for_output("ready")) << jvm->err();
        ASSERT_TRUE(jvm->wait_listening(port)) << jvm->err();
        session = std::make_unique<AgentSession>(port);
    }
    void TearDown() override { unlink(late_trigger.c_str()); }

    // The only instance of a class, by its handle.
    std::string only_instance(const std::string& cls)
    {
        auto page = session->instances(instances_of(cls));
        EXPECT_TRUE(page.ok()) << page.error.message;
        EXPECT_EQ(page.value.total, 1) << cls;
        return page.value.rows.empty() ? "" : page.value.rows[0].handle;
    }

    ObjectView show(const std::string& handle)
    {
        auto o = session->object(object_of(handle));
        EXPECT_TRUE(o.ok()) << o.error.message;
        return o.value;
    }

    const Slot* slot(const ObjectView& v, const std::string& how, const std::string& name, const std::string& declared = "")
    {
        for (const Slot& s : v.contents)
            if (s.how == how && s.name == name && (declared.empty() || s.declared == declared)) return &s;
        return nullptr;
    }

    // A framed request as raw bytes on a connection of its own, and its reply's records.
    FramedReply raw(const std::string& bytes)
    {
        AgentConnection c(port);
        c.send_raw(bytes);
        Reply r = c.read_reply();
        FramedReply out;
        EXPECT_TRUE(r.complete);
        EXPECT_TRUE(readFramedReply(r.body, out)) << r.body;
        return out;
    }

    int port = 0;
    std::string late_trigger;
    std::unique_ptr<JvmProcess> jvm;
    std::unique_ptr<AgentSession> session;
};

TEST_F(FramedE2E, HelloSaysWhoAnswersAndBadRequestsGetErrors)
{
    ASSERT_FALSE(session->open().failed());
    const Hello& h = session->hello();
    EXPECT_EQ(h.agentName, "vorlanagt");
    EXPECT_EQ(h.protocol, "1");
    EXPECT_FALSE(h.jvmName.empty());
    EXPECT_EQ(h.pid, jvm->pid());
    std::vector<std::string> names;
    for (const auto& r : h.requests) names.push_back(r.name);
    EXPECT_EQ(names, (std::vector<std::string>{"hello", "roots", "object", "histo", "instances", "referrers", "path",
                                               "objects", "class", "follow"}));

    auto code_of = [&](const std::string& line) {
        FramedReply r = raw("VRL1 " + line + "\n");
        EXPECT_FALSE(r.status.ok) << line;
        return r.status.code;
    };
    EXPECT_EQ(code_of("nosuch"), "unknown-request");
    EXPECT_EQ(code_of("object"), "usage");
    EXPECT_EQ(code_of("object\tzz"), "usage");
    EXPECT_EQ(code_of("object\t7ffffff0"), "not-found");
    EXPECT_EQ(code_of("object\t1\tlimit=-1"), "usage");
    EXPECT_EQ(code_of("histo\tcolour=red"), "usage");
    EXPECT_EQ(code_of("instances\tno.such.Class"), "not-found");
    EXPECT_EQ(code_of("histo\\q"), "framing");

    // Over a megabyte without a line feed: refused, and the connection is closed.
    AgentConnection c(port);
    c.send_raw("VRL1 instances\t" + std::string((1 << 20) + 100, 'a'));
    Reply r = c.read_reply();
    FramedReply too_long;
    ASSERT_TRUE(readFramedReply(r.body, too_long)) << r.body.substr(0, 200);
    EXPECT_EQ(too_long.status.code, "too-long");
    EXPECT_TRUE(c.closed_by_peer());

    // A class name of thousands of characters is an argument like any other.
    EXPECT_EQ(code_of("instances\t" + std::string(5000, 'q')), "not-found");
    EXPECT_TRUE(jvm->running());
}

TEST_F(FramedE2E, RequestsInPiecesOrMergedAreDecidedAsIfApart)
{
    // One byte per send, the magic split too.
    AgentConnection slow(port);
    for (char ch : std::string("VRL1 histo\tlimit=2\n")) {
        slow.send_raw(std::string(1, ch));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    FramedReply pieces;
    ASSERT_TRUE(readFramedReply(slow.read_reply().body, pieces));
    EXPECT_TRUE(pieces.status.ok);
    EXPECT_EQ(pieces.records.size(), 2u);

    // Two requests and a classic command in one send: three replies, in order.
    AgentConnection merged(port);
    merged.send_raw("VRL1 hello\nVRL1 histo\tlimit=1\np");
    FramedReply first, second;
    ASSERT_TRUE(readFramedReply(merged.read_reply().body, first));
    ASSERT_TRUE(readFramedReply(merged.read_reply().body, second));
    EXPECT_EQ(first.status.verb, "hello");
    EXPECT_EQ(second.status.verb, "histo");
    Reply roots = merged.read_reply();
    EXPECT_TRUE(roots.complete);
    EXPECT_NE(roots.body.find("LExploreTarget$Fields;"), std::string::npos) << roots.body;
}

TEST_F(FramedE2E, ObjectShowsEveryFieldWithItsValueAndDeclaringClass)
{
    const std::string h = only_instance(T + "Fields");
    ObjectView v = show(h);
    EXPECT_EQ(v.object.type, T + "Fields");
    EXPECT_GT(v.object.size, 0);
    ASSERT_NE(slot(v, "class", ""), nullptr);
    EXPECT_EQ(slot(v, "class", "")->target.preview, "class " + T + "Fields");

    // A shadowed field appears twice, told apart by its declaring class.
    ASSERT_TRUE(slot(v, "field", "shade", T + "Base") && slot(v, "field", "shade", T + "Fields"));
    EXPECT_EQ(slot(v, "field", "shade", T + "Base")->value, "1");
    EXPECT_EQ(slot(v, "field", "shade", T + "Fields")->value, "2");
    EXPECT_EQ(slot(v, "field", "ref", T + "Base")->target.preview, "\"held-by-base\"");
    EXPECT_EQ(slot(v, "field", "ref", T + "Fields")->target.preview, "\"held-by-fields\"");

    const std::map<std::string, std::pair<std::string, std::string>> primitives = {
        {"z", {"boolean", "true"}}, {"b", {"byte", "-7"}}, {"c", {"char", "\xc3\xa9"}}, {"s", {"short", "-300"}},
        {"i", {"int", "123456789"}}, {"j", {"long", "-9876543210"}}, {"f", {"float", "2.5"}}, {"d", {"double", "-0.1"}}};
    for (const auto& [name, expected] : primitives) {
        const Slot* s = slot(v, "field", name);
        ASSERT_NE(s, nullptr) << name;
        EXPECT_EQ(s->declType, expected.first);
        EXPECT_EQ(s->value, expected.second) << name;
        EXPECT_FALSE(s->refersToObject());
    }
    EXPECT_EQ(slot(v, "field", "color")->target.preview, "GREEN");
    EXPECT_EQ(slot(v, "field", "self")->target.handle, h);
    EXPECT_EQ(slot(v, "field", "ints")->target.preview, "[3]");

    // The String's whole text, non-ASCII and a character outside the BMP included.
    const std::string text = "h\xc3\xa9llo \xe2\x98\x83 \xf0\x9d\x84\x9e\ttab";
    ObjectView s = show(slot(v, "field", "text")->target.handle);
    EXPECT_TRUE(s.hasText);
    EXPECT_EQ(s.text, text);
    EXPECT_EQ(s.object.preview, "\"" + text + "\"");

    ObjectView objs = show(slot(v, "field", "objs")->target.handle);
    EXPECT_EQ(objs.length, 3);
    ASSERT_EQ(std::count_if(objs.contents.begin(), objs.contents.end(), [](const Slot& x) { return x.how == "element"; }), 3);
    EXPECT_EQ(slot(objs, "element", "0")->target.preview, "\"x\"");
    EXPECT_EQ(slot(objs, "element", "1")->value, "null");
    EXPECT_EQ(slot(objs, "element", "2")->target.preview, "42");

    // Class objects: statics by name, primitive ones with their value.
    ObjectView cls = show(slot(v, "class", "")->target.handle);
    EXPECT_EQ(slot(cls, "static", "counter")->value, "77");
    EXPECT_EQ(slot(cls, "super", "")->target.preview, "class " + T + "Base");
    ObjectView base = show(slot(cls, "super", "")->target.handle);
    EXPECT_EQ(slot(base, "static", "baseStatic")->target.preview, "\"base-static\"");
    EXPECT_NE(slot(base, "interface", ""), nullptr);
}

TEST_F(FramedE2E, ArraysArePaged)
{
    auto page = session->instances(instances_of("int[]"));
    ASSERT_TRUE(page.ok());
    std::string numbers;
    auto all = session->instances(instances_of("[I", false, 100000));
    for (const auto& r : all.value.rows)
        if (r.preview == "[5000]") numbers = r.handle;
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(page.value.classes, 1);  // Java and JVM names find the same class
    EXPECT_EQ(all.value.classes, 1);

    auto part = session->object(object_of(numbers, 4990, 100));
    ASSERT_TRUE(part.ok());
    EXPECT_EQ(part.value.length, 5000);
    std::vector<std::string> values;
    for (const Slot& s : part.value.contents)
        if (s.how == "element") values.push_back(s.name + "=" + s.value);
    ASSERT_EQ(values.size(), 10u);
    EXPECT_EQ(values.front(), "4990=14970");
    EXPECT_EQ(values.back(), "4999=14997");

    // Beyond the end: no elements, the length still told.
    auto beyond = session->object(object_of(numbers, 6000, 10));
    ASSERT_TRUE(beyond.ok());
    EXPECT_EQ(beyond.value.length, 5000);
    EXPECT_EQ(std::count_if(beyond.value.contents.begin(), beyond.value.contents.end(),
                            [](const Slot& x) { return x.how == "element"; }), 0);
}

TEST_F(FramedE2E, ReferrersNameTheFieldThroughWhichTheyHold)
{
    const std::string h = only_instance(T + "Fields");
    ObjectView v = show(h);
    // The heap walk's field indices, mapped to names: a field shadowed in a subclass, an
    // inherited one, one that refers to its own object, a static of an interface.
    auto holder_of = [&](const std::string& target) {
        auto r = session->referrers(referrers_of(target));
        EXPECT_TRUE(r.ok()) << r.error.message;
        return r.value;
    };
    // Each string is held by the field and by its class's constant pool (a literal).
    auto fields_of = [&](const Referrers& r) {
        std::vector<std::string> out;
        for (const Hop& x : r.rows)
            if (x.how == "field") out.push_back(x.name + " of " + x.declared + " in " + x.object.handle);
        return out;
    };
    Referrers by_fields = holder_of(slot(v, "field", "ref", T + "Fields")->target.handle);
    EXPECT_EQ(fields_of(by_fields), std::vector<std::string>{"ref of " + T + "Fields in " + h});
    EXPECT_EQ(by_fields.total, 2);
    Referrers by_base = holder_of(slot(v, "field", "ref", T + "Base")->target.handle);
    EXPECT_EQ(fields_of(by_base), std::vector<std::string>{"ref of " + T + "Base in " + h});
    bool found = false;

    Referrers of_self = holder_of(h);
    found = false;
    for (const Hop& r : of_self.rows) found = found || (r.name == "self" && r.object.handle == h);
    EXPECT_TRUE(found);
    ASSERT_FALSE(of_self.roots.empty());
    EXPECT_EQ(of_self.roots[0].kind, "jni-global");

    ObjectView cls = show(slot(v, "class", "")->target.handle);
    ObjectView base = show(slot(cls, "super", "")->target.handle);
    Referrers of_static = holder_of(slot(base, "static", "baseStatic")->target.handle);
    found = false;
    for (const Hop& r : of_static.rows) found = found || (r.how == "static" && r.name == "baseStatic");
    EXPECT_TRUE(found);
}

TEST_F(FramedE2E, PathsFromEachKindOfRoot)
{
    auto path_to = [&](const std::string& cls, bool weak = false) {
        auto p = session->path(path_of(only_instance(cls), weak));
        EXPECT_TRUE(p.ok()) << p.error.message;
        return p.value;
    };
    PathReply pinned = path_to(T + "Fields");
    EXPECT_EQ(pinned.found, "strong");
    EXPECT_EQ(pinned.root.kind, "jni-global");
    ASSERT_EQ(pinned.steps.size(), 1u);
    EXPECT_EQ(pinned.steps[0].how, "root");

    // Through a static map: each hop with the field or index that holds the next.
    PathReply tracked = path_to(T + "Tracked");
    EXPECT_EQ(tracked.found, "strong");
    ASSERT_GE(tracked.steps.size(), 4u);
    EXPECT_EQ(tracked.steps.back().object.type, T + "Tracked");
    EXPECT_EQ(tracked.steps.back().name, "value");
    std::vector<std::string> hops;
    for (const Hop& s : tracked.steps) hops.push_back(s.how + ":" + s.name);
    EXPECT_NE(std::find(hops.begin(), hops.end(), "static:ENTRIES"), hops.end());
    EXPECT_NE(std::find(hops.begin(), hops.end(), "field:table"), hops.end());

    PathReply stacked = path_to(T + "StackHeld");
    EXPECT_EQ(stacked.steps.size(), 1u);
    EXPECT_TRUE(stacked.root.kind == "stack-local" || stacked.root.kind == "monitor") << stacked.root.kind;
    if (stacked.root.kind == "stack-local") {
        EXPECT_EQ(stacked.root.thread, "vorlan-holder");
        EXPECT_NE(stacked.root.method.find("ExploreTarget"), std::string::npos) << stacked.root.method;
    }

    // Only a SoftReference holds it: no strong chain, and the reply says so.
    if (collector_clears_soft_references())
        return;
    PathReply soft = path_to(T + "SoftlyHeld");
    EXPECT_EQ(soft.found, "weak");
    ASSERT_FALSE(soft.steps.empty());
    EXPECT_EQ(soft.steps.back().name, "referent");
    EXPECT_FALSE(soft.notes.empty());
    EXPECT_EQ(path_to(T + "SoftlyHeld", true).found, "weak");

    // A live thread object is a root of its own.
    auto threads = session->instances(instances_of("java.lang.Thread", true, 1000));
    ASSERT_TRUE(threads.ok());
    int held_as_thread = 0;
    for (const ObjectRef& t : threads.value.rows) {
        PathReply p = session->path(path_of(t.handle)).value;
        if (p.root.kind == "thread" && p.steps.size() == 1) held_as_thread++;
    }
    EXPECT_GE(held_as_thread, 2);  // main and vorlan-holder at least
}

// objects: several objects, each exactly as object lists it, and the objects their fields
// of the names asked for refer to; class: a class's object, for its statics.
TEST_F(FramedE2E, ObjectsListsEachAsObjectDoesAndFollowsFieldsAndClassFindsTheClassObject)
{
    const std::string fields = only_instance(T + "Fields");
    const FramedReply one = raw("VRL1 object\t" + fields + "\n");
    const FramedReply two = raw("VRL1 objects\t" + fields + ",7ffffff0," + fields + "\n");
    ASSERT_TRUE(two.status.ok) << two.status.message;
    EXPECT_EQ(two.status.figures.at("listed"), "1");
    EXPECT_EQ(two.status.figures.at("missing"), "1");
    ASSERT_EQ(two.records.size(), one.records.size());
    for (size_t i = 0; i < one.records.size(); ++i)
        EXPECT_EQ(two.records[i].fields, one.records[i].fields) << i;

    // Base.ref and Fields.ref both hold a String: follow=ref brings both, max bounds all.
    Result<std::vector<ObjectView>> followed = session->objects({{fields}, {"ref", "self"}, {}, {}, {}});
    ASSERT_TRUE(followed.ok()) << followed.error.message;
    std::set<std::string> previews;
    for (const ObjectView& v : followed.value) previews.insert(v.object.preview);
    EXPECT_EQ(previews, (std::set<std::string>{"", "\"held-by-base\"", "\"held-by-fields\""}));
    EXPECT_EQ(followed.value.size(), 3u);  // self refers back to the object listed first
    EXPECT_EQ(session->objects({{fields}, {"ref"}, 2, {}, {}}).value.size(), 2u);

    // An array in a batch is paged as object pages it.
    const std::string ints = slot(show(fields), "field", "ints")->target.handle;
    Result<std::vector<ObjectView>> arrays = session->objects({{ints, fields}, {}, {}, 1, 1});
    ASSERT_TRUE(arrays.ok());
    ASSERT_EQ(arrays.value.size(), 2u);
    EXPECT_EQ(arrays.value[0].length, 3);
    ASSERT_EQ(arrays.value[0].contents.size(), 2u);  // its class, and element 1
    EXPECT_EQ(arrays.value[0].contents[1].value, "2");

    Result<std::vector<ObjectRef>> base = session->classObjects({T + "Base"});
    ASSERT_TRUE(base.ok()) << base.error.message;
    ASSERT_EQ(base.value.size(), 1u);
    EXPECT_EQ(base.value[0].preview, "class " + T + "Base");
    EXPECT_EQ(slot(show(base.value[0].handle), "static", "baseStatic")->target.preview, "\"base-static\"");
    EXPECT_EQ(session->classObjects({"no.such.Class"}).error.code, "not-found");
    EXPECT_EQ(raw("VRL1 objects\t1,zz\n").status.code, "usage");
}

// instances contains=: Strings by their text, other objects by the text of a String or
// primitive field; total counts the matches.
TEST_F(FramedE2E, InstancesContainingATextAndTheStaticThatHoldsOne)
{
    InstancesQuery strings = instances_of("java.lang.String");
    strings.contains = "base-stat";
    auto found = session->instances(strings);
    ASSERT_TRUE(found.ok()) << found.error.message;
    EXPECT_EQ(found.value.total, 1);
    ASSERT_EQ(found.value.rows.size(), 1u);
    EXPECT_EQ(found.value.rows[0].preview, "\"base-static\"");
    EXPECT_GT(figureCount(found.value.figures, "searched"), 1000);

    // Base.baseStatic and Base's constant pool (the literal) hold the same String: the
    // path names the static field.
    PathReply held = session->path(path_of(found.value.rows[0].handle)).value;
    ASSERT_FALSE(held.steps.empty());
    EXPECT_EQ(held.steps.back().how + ":" + held.steps.back().name, "static:baseStatic");

    const std::string fields = only_instance(T + "Fields");
    for (const char* text : {"held-by-f", "23456789", "true", "2.5"}) {
        InstancesQuery q = instances_of(T + "Fields");
        q.contains = text;
        auto page = session->instances(q);
        ASSERT_TRUE(page.ok()) << page.error.message;
        EXPECT_EQ(page.value.total, 1) << text;
        ASSERT_EQ(page.value.rows.size(), 1u) << text;
        EXPECT_EQ(page.value.rows[0].handle, fields) << text;
    }
    InstancesQuery none = instances_of(T + "Fields");
    none.contains = "held-by-base";  // Base's own field, shadowed in Fields: still a field of the object
    EXPECT_EQ(session->instances(none).value.total, 1);
    none.contains = "no object holds this";
    auto nothing = session->instances(none);
    ASSERT_TRUE(nothing.ok());
    EXPECT_EQ(nothing.value.total, 0);
    EXPECT_TRUE(nothing.value.rows.empty());
    EXPECT_EQ(raw("VRL1 instances\tjava.lang.String\tcontains=\n").status.code, "usage");
}

TEST_F(FramedE2E, InstancesOfSubclassesAndOfClassesLoadedAfterTheSnapshot)
{
    auto exact = session->instances(instances_of(T + "Base"));
    auto with_sub = session->instances(instances_of(T + "Base", true));
    ASSERT_TRUE(exact.ok() && with_sub.ok());
    EXPECT_EQ(exact.value.total, 0);
    EXPECT_EQ(with_sub.value.total, 1);
    EXPECT_EQ(with_sub.value.rows.at(0).type, T + "Fields");
    auto by_jvm_name = session->instances(instances_of("LExploreTarget$Fields;"));
    EXPECT_EQ(by_jvm_name.value.total, 1);

    // A classic snapshot first, then a class that did not exist at its time.
    AgentConnection classic(port);
    ASSERT_TRUE(classic.request("p").complete);
    EXPECT_EQ(session->instances(instances_of("LateLoaded")).error.code, "not-found");
    { std::ofstream(late_trigger) << "go"; }
    ASSERT_TRUE(jvm->wait_for_output("late ready")) << jvm->err();
    std::string h = only_instance("LateLoaded");
    ObjectView v = show(h);
    EXPECT_EQ(slot(v, "field", "note")->target.preview, "\"loaded late\"");
    auto histo = session->histo(histo_matching("LateLoaded"));
    ASSERT_TRUE(histo.ok());
    ASSERT_EQ(histo.value.rows.size(), 1u);
    EXPECT_EQ(histo.value.rows[0].instances, 1);
}

std::string jcmd_path()
{
    std::string java = getenv("VORLAN_TEST_JAVA") ? getenv("VORLAN_TEST_JAVA") : VORLAN_JAVA;
    return java.substr(0, java.rfind('/')) + "/jcmd";
}

// jcmd's histogram: class name -> instances.
std::map<std::string, long long> jcmd_histogram(pid_t pid)
{
    CommandResult r = run_command({jcmd_path(), std::to_string(pid), "GC.class_histogram"});
    std::map<std::string, long long> out;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream f(line);
        std::string num, name;
        long long instances = 0, bytes = 0;
        if (f >> num >> instances >> bytes >> name && !num.empty() && num.back() == ':') out[name] = instances;
    }
    return out;
}

TEST_F(FramedE2E, HistogramCountsEqualJcmds)
{
    // Each side counts the thread that asks: jcmd its Attach Listener, started on the
    // first attach and kept, so it is started here before either side counts; the
    // agent the thread it attaches for the request, one Thread and the few objects it
    // holds. Those classes may be one over jcmd's; every other class is equal. A class
    // whose count moved between two of the same kind was caught mid-change and is
    // not compared. Both ways of counting: the VM's histogram and the agent's walk.
    run_command({jcmd_path(), std::to_string(jvm->pid()), "VM.version"});
    for (bool agentWalk : {false, true}) {
        SCOPED_TRACE(agentWalk ? "counted by the agent's walk" : "counted by the VM");
        auto ours = [&] {
            std::map<std::string, long long> counts;
            HistoQuery query;
            query.agentWalk = agentWalk;
            auto h = session->histo(query);
            EXPECT_TRUE(h.ok()) << h.error.message;
            EXPECT_EQ(h.value.figures["counted_by"], agentWalk ? "agent" : "vm");
            for (const auto& r : h.value.rows) counts[r.type] += r.instances;
            return counts;
        };
        std::map<std::string, long long> a = ours(), jcmd = jcmd_histogram(jvm->pid());
        std::map<std::string, long long> b = ours(), jcmd_again = jcmd_histogram(jvm->pid());
        ASSERT_GT(jcmd.size(), 100u);
        const std::set<std::string> a_thread = {"java.lang.Thread", "java.lang.Thread$FieldHolder", "java.lang.Object",
                                                "java.lang.String", "[B", "java.security.AccessControlContext"};
        size_t compared = 0;
        for (const auto& [type, n] : a) {
            if (b[type] != n || jcmd[type] != jcmd_again[type]) continue;
            compared++;
            if (a_thread.count(type)) {
                EXPECT_GE(n, jcmd[type]) << type;
                EXPECT_LE(n, jcmd[type] + 1) << type;
            } else {
                EXPECT_EQ(jcmd[type], n) << type;
            }
        }
        EXPECT_GT(compared, a.size() * 9 / 10);
        EXPECT_EQ(a[T + "Fields"], 1);
        for (const auto& [type, n] : jcmd)
            if (n > 0 && jcmd_again[type] > 0 && a.count(type) == 0 && b.count(type) == 0)
                ADD_FAILURE() << "jcmd counts " << type << ", we do not";
    }
}

TEST(FramedE2EAlone, HistogramWithoutTheJdksManagementModuleIsCountedByTheAgent)
{
    // A program whose runtime lacks jdk.management: the VM's histogram cannot be asked
    // for, and the agent's own walk answers every time.
    const int port = free_port();
    JvmLaunch launch;
    launch.agent_options = "port=" + std::to_string(port);
    launch.main_class = "ExploreTarget";
    launch.jvm_flags = {"--limit-modules", "java.base"};
    JvmProcess jvm(launch);
    ASSERT_TRUE(jvm.wait_for_output("ready")) << jvm.err();
    ASSERT_TRUE(jvm.wait_listening(port)) << jvm.err();
    AgentSession session(port);
    for (int i = 0; i < 2; i++) {
        auto h = session.histo(histo_matching("ExploreTarget$Fields"));
        ASSERT_TRUE(h.ok()) << h.error.message;
        EXPECT_EQ(h.value.figures["counted_by"], "agent");
        ASSERT_EQ(h.value.rows.size(), 1u);
        EXPECT_EQ(h.value.rows[0].instances, 1);
    }
}

TEST_F(FramedE2E, AClassicClientAndAFramedOneAtOnce)
{
    // The classic viewer holds its connection; a second client is served meanwhile,
    // even while the classic one sits between "e" and its handle.
    AgentConnection classic(port);
    Reply roots = classic.request("p");
    ASSERT_TRUE(roots.complete);
    std::string fields_handle;
    for (const auto& l : roots.lines())
        if (l.signature == "LExploreTarget$Fields;") fields_handle = l.handle;
    ASSERT_FALSE(fields_handle.empty());
    classic.send_raw("e");
    auto v = session->object(object_of(fields_handle));
    ASSERT_TRUE(v.ok()) << v.error.message;
    EXPECT_EQ(v.value.object.type, T + "Fields");
    classic.send_raw(fields_handle);
    Reply refs = classic.read_reply();
    ASSERT_TRUE(refs.complete);
    // The classic listing is what a lone classic client gets: one line per distinct
    // object referred to, the class object first.
    auto lines = refs.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].signature, "LExploreTarget$Fields;");
    AgentConnection alone(port);
    alone.send_raw("e");
    alone.send_raw(fields_handle);
    EXPECT_EQ(alone.read_reply().body, refs.body);
}

}  // namespace

namespace {

// A thread root carries its thread's name, and is named by it as a person names it.
TEST_F(FramedE2E, ThreadRootsCarryTheirThreadsNames)
{
    RootsQuery all;
    all.limit = 100000;
    Result<RootsPage> roots = session->roots(all);
    ASSERT_TRUE(roots.ok()) << roots.error.message;
    std::set<std::string> names;
    for (const HeldRoot& r : roots.value.rows) {
        if (r.root.kind != "thread") continue;
        EXPECT_FALSE(r.root.thread.empty()) << r.object.handle;
        names.insert(rootName(r.root));
    }
    EXPECT_TRUE(names.count("thread \"main\""));
    EXPECT_TRUE(names.count("thread \"vorlan-holder\""));
}

TEST_F(FramedE2E, RootsComeWithTheirKindsAndClassInstancesAreClassObjects)
{
    FramedReply roots = raw("VRL1 roots\tlimit=100000\n");
    ASSERT_TRUE(roots.status.ok);
    std::map<std::string, int> kinds;
    bool pinned = false, stack_held = false;
    for (const Record& r : roots.records) {
        if (r.kind() != "root") continue;
        kinds[r.field(1)]++;
        pinned = pinned || (r.field(1) == "jni-global" && r.field(5) == T + "Fields");
        stack_held = stack_held || (r.field(1) == "stack-local" && r.field(2) == "vorlan-holder" && r.field(5) == T + "StackHeld");
    }
    EXPECT_TRUE(pinned);
    EXPECT_TRUE(stack_held);
    EXPECT_GT(kinds["system-class"], 100);
    EXPECT_GE(kinds["thread"], 2);

    // Every instance listed of java.lang.Class is a class object, as many as histo counts.
    // Each request collects first, so a hidden class or two may be loaded or unloaded
    // between them; counting every instance of every class would be thousands off.
    auto class_count = [&] {
        long long counted = -1;
        for (const HistoRow& row : session->histo(histo_matching("java.lang.Class")).value.rows)
            if (row.type == "java.lang.Class") counted = row.instances;
        return counted;
    };
    const long long before = class_count();
    auto classes = session->instances(instances_of("java.lang.Class", false, 100000));
    const long long after = class_count();
    ASSERT_TRUE(classes.ok());
    for (const ObjectRef& r : classes.value.rows) ASSERT_EQ(r.type, "java.lang.Class") << r.handle;
    EXPECT_GE(classes.value.total, std::min(before, after) - 16);
    EXPECT_LE(classes.value.total, std::max(before, after) + 16);
}

}  // namespace
