// Soaks the agent inside a JVM whose heap keeps changing: thousands of requests, good
// and bad, and connections dropped at every point. Bounded by a request count
// (VORLAN_SOAK_REQUESTS, default 2000); VORLAN_SOAK_RANDOM repeats a run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include "agent_connection.h"
#include "jvm_process.h"

namespace {

long env_number(const char* name, long fallback)
{
    const char* v = getenv(name);
    return v && *v ? strtol(v, nullptr, 10) : fallback;
}

long rss_kib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 20, '\n');
    }
    return -1;
}

// The highest "tick N" the program has printed.
long last_tick(const std::string& out)
{
    size_t at = out.rfind("tick ");
    return at == std::string::npos ? -1 : strtol(out.c_str() + at + 5, nullptr, 10);
}

// The agent compares messages as C strings: "q\0junk" is "q".
bool reads_as(const std::string& message, const char* command)
{
    return strcmp(message.c_str(), command) == 0;
}

bool plausible_signature(const std::string& s)
{
    if (s.empty()) return false;
    size_t dims = s.find_first_not_of('[');
    if (dims == std::string::npos) return false;
    std::string element = s.substr(dims);
    if (element.size() == 1) return std::string("ZBCSIJFD").find(element[0]) != std::string::npos;
    return element.front() == 'L' && element.back() == ';';
}

class Soak {
public:
    Soak(int port, unsigned random_start) : port_(port), rng_(random_start) { reconnect(); }

    void reconnect() { conn_ = std::make_unique<AgentConnection>(port_); }
    // The agent serves one connection at a time: every request goes through this one.
    AgentConnection& connection() { return *conn_; }

    // Checks a reply and takes its handles for later requests.
    void take(const Reply& r)
    {
        ASSERT_TRUE(r.complete) << "incomplete reply, header '" << r.header.c_str() << "'";
        ASSERT_EQ(static_cast<size_t>(r.length), r.body.size());
        for (const auto& line : r.lines()) {
            EXPECT_TRUE(plausible_signature(line.signature)) << line.handle << " '" << line.signature << "'";
            if (strtoul(line.handle.c_str(), nullptr, 16) >= 0x40000000) {
                class_handles_.push_back(line.handle);
            } else {
                object_handles_.insert(line.handle);
                recent_.push_back(line.handle);
                if (recent_.size() > 4096) recent_.erase(recent_.begin(), recent_.begin() + 2048);
            }
        }
        replies_++;
    }

    std::string some_handle()
    {
        if (recent_.empty()) return "1";
        return recent_[rng_() % recent_.size()];
    }

    std::string stale_class_handle()
    {
        if (class_handles_.empty()) return "40000000";
        return class_handles_[rng_() % class_handles_.size()];
    }

    // At least one byte: an empty send puts nothing on the wire.
    std::string random_text(size_t max_len)
    {
        std::string s(1 + rng_() % max_len, '\0');
        for (auto& c : s) c = static_cast<char>(rng_() % 256);
        return s;
    }

    void step()
    {
        unsigned op = rng_() % 100;
        if (op < 5) {
            take(conn_->request("p"));
        } else if (op < 10) {
            take(conn_->request("x"));
        } else if (op < 45) {
            take(conn_->expand(some_handle()));
        } else if (op < 50) {
            take(conn_->expand(stale_class_handle()));
        } else if (op < 58) {
            char hex[16];
            snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(rng_()));
            take(conn_->expand(hex));
        } else if (op < 63) {
            // Malformed handle texts, NULs included; one that reads "q" or "p" up to its
            // first NUL would end or reset the run. At most 31 bytes, so that when "e"
            // and the text merge in TCP they still fit one 32-byte message.
            std::string text = random_text(31);
            if (reads_as(text, "q") || reads_as(text, "p")) text = "zz";
            take(conn_->expand(text));
        } else if (op < 73) {
            take(conn_->request("e" + some_handle()));
        } else if (op < 78) {
            std::string msg = random_text(32);
            // "e" plus text is an "e" with its handle text merged: "eq" quits as well.
            bool merged_quit = msg.size() > 1 && msg[0] == 'e' && reads_as(msg.substr(1), "q");
            if (reads_as(msg, "q") || reads_as(msg, "p") || msg == "e" || merged_quit) msg = "unknown";
            take(conn_->request(msg));
        } else if (op < 84) {
            // Dropped mid-request: the agent may still be working on it.
            conn_->send_raw(rng_() % 2 ? "p" : "e" + some_handle());
            reconnect();
            dropped_++;
        } else if (op < 90) {
            // Dropped mid-reply: part of a large listing read, then gone.
            conn_->send_raw("x");
            conn_->read_reply(30);  // gives up long before a large listing has arrived
            reconnect();
            dropped_++;
        } else if (op < 95) {
            // Connects and closes at once, between two of our own connections.
            conn_.reset();
            { AgentConnection quick(port_); }
            reconnect();
            dropped_++;
        } else {
            take(conn_->expand(some_handle()));
            take(conn_->expand(some_handle()));
        }
    }

    size_t replies() const { return replies_; }
    size_t dropped() const { return dropped_; }
    size_t objects_seen() const { return object_handles_.size(); }

private:
    int port_;
    std::mt19937 rng_;
    std::unique_ptr<AgentConnection> conn_;
    std::vector<std::string> class_handles_;
    std::set<std::string> object_handles_;
    std::vector<std::string> recent_;
    size_t replies_ = 0, dropped_ = 0;
};

TEST(Soak, AgentSurvivesAChurningHeapAndServesOn)
{
    const long requests = env_number("VORLAN_SOAK_REQUESTS", 2000);
    const unsigned random_start = static_cast<unsigned>(env_number("VORLAN_SOAK_RANDOM", std::random_device{}()));
    int port = free_port();
    JvmLaunch launch;
    // debug=0: progress lines on standard error, so a failure shows what the agent did.
    launch.agent_options = "port=" + std::to_string(port) + ",kind=0,debug=0";
    launch.main_class = "ChurnTarget";
    launch.jvm_flags = {"-Xms256m", "-Xmx256m", "-XX:+AlwaysPreTouch"};  // a heap that cannot grow
    JvmProcess jvm(launch);
    ASSERT_TRUE(jvm.wait_for_output("ready")) << jvm.err();
    ASSERT_TRUE(jvm.wait_listening(port));
    ASSERT_TRUE(jvm.wait_for_output("tick"));

    Soak soak(port, random_start);
    soak.take(soak.connection().request("p"));  // a first snapshot
    long rss_start = rss_kib(jvm.pid());
    long tick_start = last_tick(jvm.out());
    auto t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < requests && !::testing::Test::HasFatalFailure(); i++) {
        soak.step();
        ASSERT_TRUE(jvm.running()) << "JVM died after " << i << " requests (VORLAN_SOAK_RANDOM=" << random_start << ")\n" << jvm.err();
    }
    if (::testing::Test::HasFailure()) {
        std::string err = jvm.err();
        ADD_FAILURE() << "JVM standard error (tail):\n" << err.substr(err.size() > 6000 ? err.size() - 6000 : 0);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    long rss_end = rss_kib(jvm.pid());
    long growth = (rss_end - rss_start) * 1024;
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_GT(last_tick(jvm.out()), tick_start) << "the program stopped doing its own work";

    double per_descriptor = soak.objects_seen() ? static_cast<double>(growth) / soak.objects_seen() : 0;
    printf("soak: VORLAN_SOAK_RANDOM=%u, %ld requests (%zu replies, %zu dropped connections) in %.1f s; "
           "%zu object descriptors; RSS %ld -> %ld KiB: %.0f bytes per request, %.0f per descriptor\n",
           random_start, requests, soak.replies(), soak.dropped(), seconds, soak.objects_seen(), rss_start, rss_end,
           static_cast<double>(growth) / requests, per_descriptor);
    // The heap is fixed, so growth is the agent's: descriptors, their lists and the JVM's
    // tag map; anything per request would show up here as a leak.
    EXPECT_LT(growth, static_cast<long>(soak.objects_seen()) * 2048 + (64L << 20));

    // A normal session still works, and "q" still ends the program.
    AgentConnection& c = soak.connection();
    Reply roots = c.request("p");
    soak.take(roots);
    std::string holder;
    for (auto& l : roots.lines())
        if (l.signature == "LPinnedHolder;") holder = l.handle;
    ASSERT_FALSE(holder.empty());
    EXPECT_EQ(c.expand(holder).lines().size(), 4u);
    c.send_raw("q");
    EXPECT_TRUE(c.closed_by_peer());
    EXPECT_EQ(jvm.wait_exit(30000), 0);
}

}  // namespace

namespace {

// The framed requests on the same churning heap, with a classic client using the
// agent at the same time: every reply is a well-formed framed reply, the program keeps
// working, and the agent's memory does not grow with the number of requests.
TEST(Soak, FramedRequestsOnAChurningHeap)
{
    const long requests = env_number("VORLAN_SOAK_FRAMED", 300);
    const unsigned random_start = static_cast<unsigned>(env_number("VORLAN_SOAK_RANDOM", std::random_device{}()));
    std::mt19937 rng(random_start);
    int port = free_port();
    JvmLaunch launch;
    launch.agent_options = "port=" + std::to_string(port) + ",kind=0,debug=0";
    launch.main_class = "ChurnTarget";
    launch.jvm_flags = {"-Xms256m", "-Xmx256m", "-XX:+AlwaysPreTouch"};
    JvmProcess jvm(launch);
    ASSERT_TRUE(jvm.wait_for_output("tick")) << jvm.err();
    ASSERT_TRUE(jvm.wait_listening(port));

    AgentConnection classic(port), framed(port);
    std::vector<std::string> handles;
    auto take_handles = [&](const Reply& r) {
        for (const auto& l : r.lines()) handles.push_back(l.handle);
        if (handles.size() > 4000) handles.erase(handles.begin(), handles.begin() + 2000);
    };
    take_handles(classic.request("p"));
    auto some = [&] { return handles.empty() ? std::string("1") : handles[rng() % handles.size()]; };
    const std::vector<std::string> classes = {"ChurnedThing", "java.lang.Object[]", "Node", "java.lang.String", "int[]"};
    long rss_start = rss_kib(jvm.pid());
    for (long i = 0; i < requests && !::testing::Test::HasFatalFailure(); i++) {
        std::string line;
        switch (rng() % 8) {
        case 0: line = "histo\tlimit=20"; break;
        case 1: line = "instances\t" + classes[rng() % classes.size()] + "\tlimit=20"; break;
        case 2: line = "instances\t" + classes[rng() % classes.size()] + "\tsubclasses=1\tgc=0\toffset=" + std::to_string(rng() % 50); break;
        case 3: line = "referrers\t" + some(); break;
        case 4: line = "path\t" + some() + "\tdepth=6"; break;
        case 5: line = "object\t" + some() + "\tlimit=50"; break;
        case 6: line = std::string("object\t") + static_cast<char>('g' + rng() % 10) + "\\x"; break;  // malformed
        default: take_handles(classic.expand(some())); continue;
        }
        framed.send_raw("VRL1 " + line + "\n");
        Reply r = framed.read_reply();
        ASSERT_TRUE(r.complete) << line;
        ASSERT_TRUE(r.body.rfind("ok\t", 0) == 0 || r.body.rfind("error\t", 0) == 0) << line << "\n" << r.body.substr(0, 300);
        // Handles named by the replies are asked about later.
        for (size_t at = r.body.find("\n"); at != std::string::npos && at + 1 < r.body.size(); at = r.body.find('\n', at + 1)) {
            size_t tab = r.body.find('\t', at + 1);
            if (r.body.compare(at + 1, 9, "instance\t") == 0 && tab != std::string::npos)
                handles.push_back(r.body.substr(tab + 1, r.body.find('\t', tab + 1) - tab - 1));
        }
        if (i % 50 == 0) take_handles(classic.request("p"));
        ASSERT_TRUE(jvm.running()) << "JVM died after " << i << " framed requests (VORLAN_SOAK_RANDOM=" << random_start
                                   << ")\n" << jvm.err();
    }
    long tick = last_tick(jvm.out());
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_GT(last_tick(jvm.out()), tick) << "the program stopped doing its own work";
    long growth = (rss_kib(jvm.pid()) - rss_start) * 1024;
    printf("framed soak: VORLAN_SOAK_RANDOM=%u, %ld requests; RSS growth %ld KiB\n", random_start, requests, growth / 1024);
    EXPECT_LT(growth, 64L << 20);
}

}  // namespace
