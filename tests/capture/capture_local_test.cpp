// The capture's own side, without a VM: the private directory and the sweep of those
// left by dead clients, the guard that cleans up after a killed client, the drain that
// reads the pipe ahead of the reader, and the output file written whole or not at all.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "capture_cancel.h"
#include "capture_error.h"
#include "capture_guard.h"
#include "dump_file.h"
#include "pipe_drain.h"
#include "private_dir.h"

namespace fs = std::filesystem;

namespace {

std::string tempDir(const char* name)
{
    std::string templ = std::string("/tmp/") + name + "-XXXXXX";
    return ::mkdtemp(templ.data());
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// A process that tries to open path for writing, as the VM's heap dumper does, and
// writes to it; its exit status says how that went: 0 written, 2 the open failed, 3 the
// write got EPIPE. Until somebody opens the read end, it waits in open().
pid_t blockedWriter(const std::string& path)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGPIPE, SIG_IGN);
        const int fd = ::open(path.c_str(), O_WRONLY);
        if (fd < 0)
            ::_exit(2);
        ::usleep(100 * 1000);  // the read end is gone by now
        const char bytes[] = "JAVA PROFILE 1.0.2";
        ::_exit(::write(fd, bytes, sizeof bytes) < 0 && errno == EPIPE ? 3 : 0);
    }
    return child;
}

int exitStatus(pid_t child, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (::waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return -1;
}

// A pid that names no process now: a child's, once it has been reaped.
pid_t deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

// Bytes 0, 1, 2... handed out a few at a time, slowly at first.
class CountingSource : public ByteSource {
public:
    explicit CountingSource(size_t total) : total_(total) {}
    size_t read(uint8_t* buffer, size_t size) override
    {
        if (position_ < 3000)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const size_t n = std::min({size, total_ - position_, size_t{777}});
        for (size_t i = 0; i < n; ++i)
            buffer[i] = static_cast<uint8_t>((position_ + i) % 251);
        position_ += n;
        return n;
    }
    uint64_t consumed() const override { return position_; }

private:
    size_t total_;
    size_t position_ = 0;
};

}  // namespace

TEST(PrivateDirectory, IsOursAloneAndGoesWithEverythingInIt)
{
    // A base of its own: captures running beside this test share the default one, which
    // then stays.
    const std::string runtime = "/dev/shm/vorlan-test-alone-" + std::to_string(::getpid());
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    std::string path;
    {
        PrivateDir dir = PrivateDir::create(::getpid());
        path = dir.path();
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_EQ(st.st_uid, ::geteuid());
        EXPECT_TRUE(dir.memoryBacked()) << path;
        EXPECT_NE(path.find("/capture-" + std::to_string(::getpid()) + "-"), std::string::npos) << path;
        ASSERT_EQ(::mkfifo((path + "/heap.hprof").c_str(), 0600), 0);
        std::ofstream(path + "/heap.hprof.p0") << "a dump's part";
    }
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(path.rfind(runtime + "/", 0), 0u) << path;
    EXPECT_FALSE(exists(path)) << path;
    EXPECT_FALSE(exists(fs::path(path).parent_path().string())) << "an empty base is removed too";
    fs::remove_all(runtime);
}

TEST(PrivateDirectory, ABaseThatIsALinkOrOpenToOthersIsNotUsed)
{
    const std::string runtime = "/dev/shm/vorlan-test-runtime-" + std::to_string(::getpid());
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    const std::string elsewhere = tempDir("vorlan-elsewhere");
    ASSERT_EQ(::symlink(elsewhere.c_str(), (runtime + "/vorlan").c_str()), 0);
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    std::string linked, open;
    {
        PrivateDir dir = PrivateDir::create(::getpid());
        linked = dir.path();
    }
    ::unlink((runtime + "/vorlan").c_str());
    ASSERT_EQ(::mkdir((runtime + "/vorlan").c_str(), 0755), 0);
    {
        PrivateDir dir = PrivateDir::create(::getpid());
        open = dir.path();
    }
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(linked.rfind(runtime, 0), std::string::npos) << "went through the link: " << linked;
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_EQ(open.rfind(runtime, 0), std::string::npos) << "used a base others may enter: " << open;
    fs::remove_all(runtime);
    fs::remove_all(elsewhere);
}

TEST(PrivateDirectory, RemovalReleasesAWriterWaitingToOpenThePipe)
{
    const std::string dir = tempDir("vorlan-capture-test");
    const std::string pipe = dir + "/heap.hprof";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const pid_t writer = blockedWriter(pipe);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // in open(), waiting for a reader
    EXPECT_TRUE(removeCaptureDirectory(dir.c_str()));
    EXPECT_FALSE(exists(dir));
    // Its open went through, and its write found no reader: it goes on, as a VM would.
    EXPECT_EQ(exitStatus(writer, 5000), 3);
}

TEST(PrivateDirectory, SweepRemovesOnlyTheDirectoriesOfDeadClients)
{
    const std::string base = tempDir("vorlan-sweep");
    const std::string dead = base + "/capture-" + std::to_string(deadPid()) + "-1-4242-AAAAAA";
    const std::string reused = base + "/capture-" + std::to_string(::getpid()) + "-1-4242-BBBBBB";  // wrong start
    const std::string other = base + "/not-a-capture";
    for (const std::string& d : {dead, reused, other})
        ASSERT_EQ(::mkdir(d.c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((dead + "/heap.hprof").c_str(), 0600), 0);
    const pid_t writer = blockedWriter(dead + "/heap.hprof");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    // A directory of this very process stays: it is alive.
    std::string own;
    {
        PrivateDir live = PrivateDir::create(::getpid());
        own = live.path();
        EXPECT_EQ(sweepStaleCaptures(base), 2u);
        EXPECT_EQ(sweepStaleCaptures(fs::path(own).parent_path().string()), 0u);
        EXPECT_TRUE(exists(own));
    }
    EXPECT_FALSE(exists(dead));
    EXPECT_FALSE(exists(reused)) << "a pid whose process started at another time is a dead client's";
    EXPECT_TRUE(exists(other));
    EXPECT_EQ(exitStatus(writer, 5000), 3);
    fs::remove_all(base);
}

TEST(CaptureGuard, CleansUpUnlessReleased)
{
    for (bool release : {false, true}) {
        const std::string base = tempDir("vorlan-guard");
        const std::string dir = base + "/capture-1";
        ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
        const std::string pipe = dir + "/heap.hprof";
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        const std::string extra = base + "/partial.hprof";
        std::ofstream(extra) << "half a dump";
        const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        {
            CaptureGuard guard(reader, dir, extra);
            if (release)
                guard.release();
        }  // without release, as when the client dies: the guard cleans up
        ::close(reader);
        EXPECT_EQ(exists(dir), release) << "release=" << release;
        EXPECT_EQ(exists(extra), release);
        EXPECT_EQ(exists(base), release) << "the empty base goes with it";
        // The guard has been waited for: no child of ours is left.
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
        fs::remove_all(base);
    }
}

TEST(PipeDrain, HandsOnEveryByteInOrderWithinItsBound)
{
    constexpr size_t kTotal = 5'000'000;
    CountingSource source(kTotal);
    CaptureCancel stop;
    PipeDrain drain(source, stop, 2u << 20);
    std::vector<uint8_t> got;
    std::vector<uint8_t> buffer(300'000);
    for (;;) {
        const size_t n = drain.read(buffer.data(), buffer.size());
        if (n == 0)
            break;
        got.insert(got.end(), buffer.begin(), buffer.begin() + static_cast<long>(n));
        if (got.size() < 1'000'000)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));  // a reader slower than the pipe
    }
    ASSERT_EQ(got.size(), kTotal);
    for (size_t i = 0; i < kTotal; ++i)
        ASSERT_EQ(got[i], i % 251) << "at byte " << i;
    EXPECT_EQ(drain.consumed(), kTotal);
    EXPECT_LE(drain.mostWaiting(), (2u << 20)) << "read further ahead than its bound";
    EXPECT_GT(drain.mostWaiting(), 0u);
}

TEST(PipeDrain, ALoweredBoundHoldsFromThenOnAndEveryByteStillComes)
{
    // The bytes 0, 1, 2... mod 251, as fast as the drain asks; how many it has given.
    class Fast : public ByteSource {
    public:
        explicit Fast(size_t total) : total_(total) {}
        size_t read(uint8_t* buffer, size_t size) override
        {
            const size_t at = given_.load();
            const size_t n = std::min(size, total_ - at);
            for (size_t i = 0; i < n; ++i)
                buffer[i] = static_cast<uint8_t>((at + i) % 251);
            given_.store(at + n);
            return n;
        }
        uint64_t consumed() const override { return given_.load(); }

    private:
        size_t total_;
        std::atomic<size_t> given_{0};
    };
    constexpr size_t kMB = 1u << 20, kTotal = 40 * kMB;
    Fast source(kTotal);
    CaptureCancel stop;
    PipeDrain drain(source, stop, 16 * kMB);
    // Nothing read yet: the drain fills up to its bound.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (drain.mostWaiting() < 15 * kMB && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GE(drain.mostWaiting(), 15 * kMB);

    drain.lowerLimit(2 * kMB);
    const size_t ahead = source.consumed();
    std::vector<uint8_t> got;
    std::vector<uint8_t> buffer(100'000);
    size_t mostAheadAfter = 0;
    for (;;) {
        const size_t n = drain.read(buffer.data(), buffer.size());
        if (n == 0)
            break;
        got.insert(got.end(), buffer.begin(), buffer.begin() + static_cast<long>(n));
        if (got.size() > ahead)
            mostAheadAfter = std::max<size_t>(mostAheadAfter, source.consumed() - got.size());
    }
    ASSERT_EQ(got.size(), kTotal);
    for (size_t i = 0; i < kTotal; ++i)
        ASSERT_EQ(got[i], i % 251) << "at byte " << i;
    EXPECT_GT(mostAheadAfter, 0u);
    EXPECT_LE(mostAheadAfter, 2 * kMB) << "read further ahead than the lowered bound";
}

TEST(PipeDrain, PassesOnTheSourcesErrorAndStopsWhenDestroyed)
{
    class Failing : public ByteSource {
    public:
        size_t read(uint8_t*, size_t) override { throw CaptureError(CaptureFailure::refused, "the VM said no"); }
        uint64_t consumed() const override { return 0; }
    } failing;
    CaptureCancel stop;
    PipeDrain drain(failing, stop, 1u << 20);
    uint8_t byte = 0;
    try {
        drain.read(&byte, 1);
        ADD_FAILURE() << "no error";
    } catch (const CaptureError& e) {
        EXPECT_EQ(e.failure(), CaptureFailure::refused);
        EXPECT_STREQ(e.what(), "the VM said no");
    }

    // A source that waits until the stop pipe is cancelled, as the dump's stream does.
    class Waiting : public ByteSource {
    public:
        explicit Waiting(CaptureCancel& stop) : stop_(stop) {}
        size_t read(uint8_t*, size_t) override
        {
            while (!stop_.cancelled())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            throw CaptureError(CaptureFailure::cancelled, "stopped");
        }
        uint64_t consumed() const override { return 0; }

    private:
        CaptureCancel& stop_;
    };
    CaptureCancel stop2;
    Waiting waiting(stop2);
    const auto start = std::chrono::steady_clock::now();
    { PipeDrain waitingDrain(waiting, stop2, 1u << 20); }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(DumpFile, WholeOrNotAtAllAndPrivate)
{
    const std::string dir = tempDir("vorlan-dumpfile");
    const std::string file = dir + "/heap.hprof";
    {
        DumpFile out(file, false);
        const uint8_t bytes[] = {'J', 'A', 'V', 'A'};
        out.write(bytes, sizeof bytes);
        EXPECT_FALSE(exists(file)) << "named before it is complete";
    }
    EXPECT_TRUE(fs::is_empty(dir)) << "a dump not committed leaves nothing";
    {
        DumpFile out(file, false);
        const uint8_t bytes[] = {'J', 'A', 'V', 'A'};
        out.write(bytes, sizeof bytes);
        out.commit();
    }
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 4);
    try {
        DumpFile again(file, false);
        ADD_FAILURE() << "an existing file was not refused";
    } catch (const CaptureError& e) {
        EXPECT_NE(std::string(e.what()).find("--force"), std::string::npos) << e.what();
    }

    // A link at the name is replaced, never followed.
    const std::string target = dir + "/target";
    std::ofstream(target) << "precious";
    const std::string link = dir + "/link.hprof";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_THROW(DumpFile(link, false), CaptureError);
    {
        DumpFile out(link, true);
        const uint8_t bytes[] = {'N', 'E', 'W'};
        out.write(bytes, sizeof bytes);
        out.commit();
    }
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    std::ifstream kept(target);
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "precious");

    // A name taken while the dump was written is not replaced either.
    {
        const std::string late = dir + "/late.hprof";
        DumpFile out(late, false);
        std::ofstream(late) << "someone else's";
        EXPECT_THROW(out.commit(), CaptureError);
        std::ifstream theirs(late);
        std::getline(theirs, text);
        EXPECT_EQ(text, "someone else's");
    }
    fs::remove_all(dir);
}
