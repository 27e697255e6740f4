// The agent inside a real JVM, spoken to over a real socket.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "agent_connection.h"
#include "jvm_process.h"

namespace {

constexpr unsigned long CLASS_HANDLES = 0x40000000;

bool is_class_handle(const std::string& h) { return strtoul(h.c_str(), nullptr, 16) >= CLASS_HANDLES; }

std::multiset<std::string> signatures(const Reply& r)
{
    std::multiset<std::string> out;
    for (auto& l : r.lines()) out.insert(l.signature);
    return out;
}

const ListingLine* find_line(const std::vector<ListingLine>& lines, const std::string& signature,
                             bool class_object = false)
{
    for (auto& l : lines)
        if (l.signature == signature && is_class_handle(l.handle) == class_object) return &l;
    return nullptr;
}

class AgentE2E : public ::testing::Test {
protected:
    std::unique_ptr<JvmProcess> start(const std::string& extra_options = "", std::vector<std::string> args = {})
    {
        port = free_port();
        std::string options = "port=" + std::to_string(port);
        if (!extra_options.empty()) options += "," + extra_options;
        auto jvm = std::make_unique<JvmProcess>(options, std::move(args));
        EXPECT_TRUE(jvm->wait_for_output("ready")) << jvm->err();
        EXPECT_TRUE(jvm->wait_listening(port)) << jvm->err();
        return jvm;
    }

    // The handle of the pinned PinnedHolder in a root listing.
    std::string holder_handle(AgentConnection& c)
    {
        Reply roots = c.request("p");
        auto lines = roots.lines();
        const ListingLine* h = find_line(lines, "LPinnedHolder;");
        return h ? h->handle : "";
    }

    int port = 0;
};

TEST_F(AgentE2E, RootListingIsWellFramedAndShowsPinnedObjects)
{
    auto jvm = start();
    AgentConnection c(port);
    ASSERT_TRUE(c.connected());
    Reply r = c.request("p");
    ASSERT_TRUE(r.complete);
    size_t digits = r.header.find('\0');
    ASSERT_NE(digits, std::string::npos);
    EXPECT_EQ(r.header.substr(0, digits), std::to_string(r.body.size()));
    EXPECT_EQ(r.header.substr(digits), std::string(32 - digits, '\0'));
    auto lines = r.lines();
    ASSERT_NE(find_line(lines, "LPinnedHolder;"), nullptr) << r.body;
    // The default filter lists JNI global references only: the pinned holder once, no
    // system classes.
    EXPECT_EQ(signatures(r).count("LPinnedHolder;"), 1u);
    EXPECT_LT(lines.size(), 50u) << r.body;

    // A second root listing without "p" repeats the first, plus any new roots at the end.
    Reply again = c.request("x");
    ASSERT_TRUE(again.complete);
    EXPECT_EQ(again.body.substr(0, r.body.size()), r.body);
}

TEST_F(AgentE2E, ReferenceListingHoldsClassStringArrayAndItself)
{
    auto jvm = start();
    AgentConnection c(port);
    std::string holder = holder_handle(c);
    ASSERT_FALSE(holder.empty());

    Reply r = c.expand(holder);
    ASSERT_TRUE(r.complete);
    auto lines = r.lines();
    EXPECT_EQ(lines.size(), 4u) << r.body;
    EXPECT_EQ(signatures(r), (std::multiset<std::string>{"LPinnedHolder;", "LPinnedHolder;", "Ljava/lang/String;", "[I"}));
    const ListingLine* cls = find_line(lines, "LPinnedHolder;", true);
    ASSERT_NE(cls, nullptr) << "class object missing: " << r.body;
    const ListingLine* self = find_line(lines, "LPinnedHolder;", false);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->handle, holder);

    // Expanding twice gives the same entries.
    EXPECT_EQ(c.expand(holder).body, r.body);

    // A String refers to its class and its byte array; an int[] only to its class.
    const ListingLine* str = find_line(lines, "Ljava/lang/String;");
    const ListingLine* ints = find_line(lines, "[I");
    ASSERT_TRUE(str && ints);
    Reply s = c.expand(str->handle);
    EXPECT_EQ(signatures(s), (std::multiset<std::string>{"Ljava/lang/String;", "[B"}));
    EXPECT_NE(find_line(s.lines(), "Ljava/lang/String;", true), nullptr);
    Reply i = c.expand(ints->handle);
    ASSERT_EQ(i.lines().size(), 1u);
    EXPECT_TRUE(is_class_handle(i.lines()[0].handle));
    EXPECT_EQ(i.lines()[0].signature, "[I");

    // The class object lists what its class refers to, its class loader among them.
    Reply k = c.expand(cls->handle);
    EXPECT_TRUE(k.complete);
    EXPECT_GE(signatures(k).count("Ljdk/internal/loader/ClassLoaders$AppClassLoader;"), 1u) << k.body;
}

TEST_F(AgentE2E, ObjectsKeepHandlesAcrossPrepareClassesDoNot)
{
    auto jvm = start();
    AgentConnection c(port);
    std::string holder = holder_handle(c);
    ASSERT_FALSE(holder.empty());
    auto first = c.expand(holder).lines();
    const ListingLine* cls1 = find_line(first, "LPinnedHolder;", true);
    const ListingLine* str1 = find_line(first, "Ljava/lang/String;");
    ASSERT_TRUE(cls1 && str1);

    EXPECT_EQ(holder_handle(c), holder);
    auto second = c.expand(holder).lines();
    const ListingLine* cls2 = find_line(second, "LPinnedHolder;", true);
    const ListingLine* str2 = find_line(second, "Ljava/lang/String;");
    ASSERT_TRUE(cls2 && str2);
    EXPECT_EQ(str2->handle, str1->handle);
    EXPECT_NE(cls2->handle, cls1->handle);

    // The old class handle names nothing now: an empty reply, and the agent serves on.
    Reply dead = c.expand(cls1->handle);
    EXPECT_TRUE(dead.complete);
    EXPECT_EQ(dead.length, 0);
    EXPECT_FALSE(c.expand(cls2->handle).body.empty());
}

TEST_F(AgentE2E, HandleTextVariantsSelectTheSameObject)
{
    auto jvm = start();
    AgentConnection c(port);
    std::string holder = holder_handle(c);
    ASSERT_FALSE(holder.empty());
    std::string expected = c.expand(holder).body;
    ASSERT_FALSE(expected.empty());
    std::string upper = holder;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    for (const std::string& text : {"  " + holder, "\t" + holder, "0x" + holder, upper, holder + "zz"})
        EXPECT_EQ(c.expand(text).body, expected) << "'" << text << "'";

    // Texts that parse to 0 select no object: the root listing.
    Reply roots = c.request("x");
    for (const char* text : {"0", "zz", "-"}) {
        Reply r = c.expand(text);
        EXPECT_EQ(r.body.substr(0, roots.body.size()), roots.body) << text;
    }
    // Texts naming no live descriptor give an empty listing.
    for (const std::string& text : std::vector<std::string>{"7fffffff", "-1", std::string(32, 'f'), "3ffffffe"}) {
        Reply r = c.expand(text);
        EXPECT_TRUE(r.complete) << text;
        EXPECT_EQ(r.length, 0) << text;
    }
    EXPECT_EQ(c.expand(holder).body, expected);
}

TEST_F(AgentE2E, UnknownCommandsListRootsAndMergedExpandWorks)
{
    auto jvm = start();
    AgentConnection c(port);
    std::string holder = holder_handle(c);
    ASSERT_FALSE(holder.empty());
    std::string roots = c.request("x").body;
    for (const std::string& cmd : std::vector<std::string>{"hello", std::string(32, 'p'), "P"}) {
        Reply r = c.request(cmd);
        ASSERT_TRUE(r.complete) << cmd;
        EXPECT_EQ(r.body.substr(0, roots.size()), roots) << cmd;
    }
    std::string expected = c.expand(holder).body;
    Reply merged = c.request("e" + holder);
    EXPECT_EQ(merged.body, expected);
    // A merged handle text that starts with a NUL selects nothing; the reply must come
    // at once rather than after a handle message that is never sent.
    Reply nul_text = c.request(std::string("e\0", 2) + holder);
    ASSERT_TRUE(nul_text.complete);
    EXPECT_EQ(nul_text.body.substr(0, roots.size()), roots);
}

TEST_F(AgentE2E, NewConnectionsAreServedFromTheSameSnapshot)
{
    auto jvm = start();
    std::string holder, body;
    {
        AgentConnection c(port);
        holder = holder_handle(c);
        body = c.expand(holder).body;
    }  // closed without a word
    {
        AgentConnection c(port);
        ASSERT_TRUE(c.connected());
        EXPECT_EQ(c.expand(holder).body, body);  // same class handle: same table
    }
    {
        AgentConnection quitter(port);  // connects and closes at once
    }
    {
        AgentConnection impatient(port);  // asks and leaves before the reply
        impatient.send_raw("p");
    }
    AgentConnection c(port);
    ASSERT_TRUE(c.connected());
    Reply r = c.expand(holder);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.lines().size(), 4u);
    EXPECT_TRUE(jvm->running());
}

TEST_F(AgentE2E, KindFilterSelectsRootKinds)
{
    size_t jni_only;
    {
        auto jvm = start("kind=1");
        AgentConnection c(port);
        jni_only = c.request("p").lines().size();
    }
    {
        auto jvm = start("kind=0");
        AgentConnection c(port);
        Reply r = c.request("p");
        auto lines = r.lines();
        EXPECT_GT(lines.size(), jni_only + 100);
        EXPECT_NE(find_line(lines, "LPinnedHolder;"), nullptr);
        EXPECT_NE(find_line(lines, "Ljava/lang/Thread;"), nullptr);
    }
    {
        // System classes: each class object listed with its own signature.
        auto jvm = start("kind=2");
        AgentConnection c(port);
        auto lines = c.request("p").lines();
        size_t class_objects = 0;
        for (auto& l : lines) class_objects += is_class_handle(l.handle);
        EXPECT_GT(class_objects, 100u);
        EXPECT_NE(find_line(lines, "Ljava/lang/String;", true), nullptr);
        EXPECT_EQ(find_line(lines, "LPinnedHolder;"), nullptr);  // a JNI global, not a system class
    }
    {
        auto jvm = start("kind=-1");
        AgentConnection c(port);
        Reply r = c.request("p");
        ASSERT_TRUE(r.complete);
        EXPECT_EQ(r.header, std::string("0") + std::string(31, '\0'));
        EXPECT_EQ(r.body, "");
    }
}

TEST_F(AgentE2E, EchoesOptionsAndReportsProgressOnStandardError)
{
    auto jvm = start("kind=1,debug=0");
    std::string p = std::to_string(port);
    std::string echo = "port=" + p + ",kind=1,debug=0\ni=3\n1:token=port=" + p + "\nPORT=" + p +
                       "\n1:token=kind=1\nLIMIT=1\n1:token=debug=0\ndebug=0\n";
    EXPECT_EQ(jvm->err().substr(0, echo.size()), echo);
    EXPECT_TRUE(jvm->wait_for_output("port=" + p + "\nbind\nlisten\n", true));
    AgentConnection c(port);
    Reply r = c.request("p");
    std::string sent = "accept\n" + std::to_string(r.body.size()) + " bytes sent.\n";
    EXPECT_TRUE(jvm->wait_for_output(" bytes sent.\n", true)) << jvm->err();
    // A loaded machine may make the collection long enough for its pause line.
    std::string err, line;
    std::istringstream lines(jvm->err());
    while (std::getline(lines, line))
        if (!(line.rfind("vorlanagt: ", 0) == 0 && line.find(" stopped the program for ") != std::string::npos))
            err += line + "\n";
    EXPECT_EQ(err, echo + "port=" + p + "\nbind\nlisten\n" + sent);
    EXPECT_EQ(jvm->out(), "ready\n");  // no trace below debug level 1
}

TEST_F(AgentE2E, TraceAtDebugOneStartsWithCapabilities)
{
    auto jvm = start("debug=1");
    EXPECT_EQ(jvm->out().rfind("AddCapabilities \n\nAgent_OnLoad end \n\n", 0), 0u) << jvm->out();
    AgentConnection c(port);
    std::string holder = holder_handle(c);
    c.expand(holder);
    // The reply may come before the trace written after it is read from the program.
    EXPECT_TRUE(jvm->wait_for_output("getObject: ocount = 1\n")) << jvm->out();
    // The program prints "ready" on the same stream, wherever the server thread has got
    // to by then (late, on a loaded machine).
    std::string out = jvm->out();
    if (const size_t ready = out.find("ready\n"); ready != std::string::npos)
        out.erase(ready, 6);
    for (const char* step : {"server\nWSAStartup\nsocket\n", "GetLoadedClasses\nerr=0\n", "IterateOverReachableObjects\n",
                             "gathering contents \n", "dataDumpRequest end\n", "send size: sizeof(buf)=32\n",
                             "IterateOverObjectsReachableFromObject:err=0\n", "getObject: ocount = 1\n"})
        EXPECT_NE(out.find(step), std::string::npos) << step;
    c.send_raw("q");
    EXPECT_TRUE(c.closed_by_peer());
    EXPECT_EQ(jvm->wait_exit(30000), 0);
    out = jvm->out();
    EXPECT_NE(out.find("UnSetTag\nDeallocate\nfree signature\nfree details\nEND\n"), std::string::npos);
    EXPECT_NE(out.find("server end\n"), std::string::npos);
}

TEST_F(AgentE2E, QuitEndsTheProgramThroughItsShutdownHooks)
{
    auto jvm = start();
    AgentConnection c(port);
    ASSERT_FALSE(holder_handle(c).empty());
    c.send_raw("q");
    EXPECT_TRUE(c.closed_by_peer());
    EXPECT_EQ(jvm->wait_exit(30000), 0);
    EXPECT_EQ(read_file(jvm->marker_path()), "shutdown hook ran\n");
}

TEST_F(AgentE2E, HandleMessageQQuitsToo)
{
    auto jvm = start();
    AgentConnection c(port);
    c.send_raw("e");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    c.send_raw("q");
    EXPECT_TRUE(c.closed_by_peer());
    EXPECT_EQ(jvm->wait_exit(30000), 0);
}

TEST_F(AgentE2E, PortInUseIsReportedAndTheProgramRunsOn)
{
    int blocker = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(blocker, 1), 0);
    socklen_t len = sizeof a;
    getsockname(blocker, reinterpret_cast<sockaddr*>(&a), &len);
    int busy = ntohs(a.sin_port);

    JvmProcess jvm("port=" + std::to_string(busy));
    ASSERT_TRUE(jvm.wait_for_output("ready"));
    std::string line = "vorlanagt: cannot listen on 127.0.0.1:" + std::to_string(busy) + " (bind: Address already in use)";
    EXPECT_TRUE(jvm.wait_for_output(line, true)) << jvm.err();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(jvm.running());
    std::string err = jvm.err();
    EXPECT_EQ(err.find("vorlanagt:"), err.rfind("vorlanagt:")) << "more than one report: " << err;
    close(blocker);
}

TEST_F(AgentE2E, NoOptionStringEchoesNothing)
{
    JvmProcess jvm(std::nullopt);
    ASSERT_TRUE(jvm.wait_for_output("ready"));
    EXPECT_EQ(jvm.err().find("i="), std::string::npos) << jvm.err();
    EXPECT_TRUE(jvm.running());
}

TEST_F(AgentE2E, LargeArrayListsEveryElementOnce)
{
    const int n = 200000;
    auto jvm = start("", {"big", std::to_string(n)});
    AgentConnection c(port);
    auto roots = c.request("p").lines();
    const ListingLine* big = find_line(roots, "[Ljava/lang/Object;");
    ASSERT_NE(big, nullptr);
    Reply r = c.expand(big->handle);
    ASSERT_TRUE(r.complete);
    auto lines = r.lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(n) + 1);
    std::set<std::string> handles;
    size_t objects = 0;
    for (auto& l : lines) {
        handles.insert(l.handle);
        if (l.signature == "Ljava/lang/Object;") objects++;
    }
    EXPECT_EQ(handles.size(), lines.size());
    EXPECT_EQ(objects, static_cast<size_t>(n));
    EXPECT_EQ(c.expand(big->handle).body, r.body);
}

}  // namespace

namespace {

// Connects as another user from a child process; returns what the agent sent back.
std::string request_as_user(uid_t uid, int port)
{
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (setgid(uid) != 0 || setuid(uid) != 0) _exit(3);
        AgentConnection c(port);
        if (!c.connected()) _exit(4);
        c.send_raw("p");
        Reply r = c.read_reply(5000);
        std::string got = r.header + r.body;
        if (write(fds[1], got.data(), got.size()) < 0) _exit(5);
        _exit(0);
    }
    close(fds[1]);
    std::string got;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int st = 0;
    waitpid(child, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "child status " << st;
    return got;
}

TEST_F(AgentE2E, OnlyTheVmsUserOrRootMayConnect)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
    auto jvm = start("debug=0");
    const uid_t nobody = 65534;
    EXPECT_EQ(request_as_user(nobody, port), "");  // closed at once, no reply
    EXPECT_TRUE(jvm->wait_for_output("connection refused: uid 65534 is not the VM's user\n", true)) << jvm->err();
    AgentConnection c(port);
    Reply r = c.request("p");
    EXPECT_TRUE(r.complete);
    EXPECT_FALSE(r.body.empty());
    EXPECT_TRUE(jvm->running());
}

}  // namespace

namespace {

TEST_F(AgentE2E, AgentlibFindsTheLibraryOnTheLibraryPath)
{
    port = free_port();
    std::string library = VORLAN_AGENT_PATH;
    JvmLaunch launch;
    launch.load_agent = false;
    launch.jvm_flags = {"-agentlib:vorlanagt=port=" + std::to_string(port)};
    launch.environment = {{"LD_LIBRARY_PATH", library.substr(0, library.rfind('/'))}};
    JvmProcess jvm(launch);
    ASSERT_TRUE(jvm.wait_for_output("ready")) << jvm.err();
    ASSERT_TRUE(jvm.wait_listening(port)) << jvm.err();
    AgentConnection c(port);
    EXPECT_FALSE(holder_handle(c).empty());
}

}  // namespace
