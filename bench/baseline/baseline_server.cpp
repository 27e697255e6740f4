#include "baseline_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "baseline_vm.h"
#include "baseline_heap_walks.h"
#include "baseline_walks.h"

namespace {

bool send_all(int fd, const std::string& data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads one line without its line feed; false when the peer is gone.
bool read_line(int fd, std::string& line)
{
    line.clear();
    char c;
    for (;;) {
        ssize_t n = recv(fd, &c, 1, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        if (c == '\n') return true;
        line += c;
    }
}

std::string timings_line(const StepTimes& t)
{
    char buf[256];
    snprintf(buf, sizeof buf, "gc_ns=%lld classes_ns=%lld walk_ns=%lld count=%lld classes=%lld\n",
             static_cast<long long>(t.gc_ns), static_cast<long long>(t.classes_ns),
             static_cast<long long>(t.walk_ns), static_cast<long long>(t.count),
             static_cast<long long>(t.classes));
    return buf;
}

std::string reply(std::string body, size_t pad)
{
    if (body.size() < pad) body.append(pad - body.size(), ' ');
    std::string header(32, '\0');
    std::string length = std::to_string(body.size());
    header.replace(0, length.size(), length);
    return header + body;
}

std::vector<std::string> split_words(const std::string& text)
{
    std::vector<std::string> words;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        if (end > at) words.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

// Runs one command while attached to the VM, as the agent does, and returns the reply.
std::string handle_command(const std::string& line)
{
    JNIEnv* jni = nullptr;
    if (baseline_vm->AttachCurrentThread(reinterpret_cast<void**>(&jni), nullptr) != JNI_OK)
        return reply("error=attach\n", 0);
    std::string out;
    char* rest = nullptr;
    if (line.rfind("p ", 0) == 0) {
        size_t pad = strtoul(line.c_str() + 2, nullptr, 10);
        out = reply(timings_line(prepare_and_walk_roots(baseline_jvmti)), pad);
    } else if (line.rfind("s ", 0) == 0) {
        out = reply(select_root(baseline_jvmti, line.substr(2)) ? "found=1\n" : "found=0\n", 0);
    } else if (line.rfind("e ", 0) == 0) {
        long mode = strtol(line.c_str() + 2, &rest, 10);
        size_t pad = strtoul(rest, nullptr, 10);
        out = reply(timings_line(walk_from_selected(baseline_jvmti, mode == 1)), pad);
    } else if (line.rfind("h ", 0) == 0) {
        out = reply(heap_histogram(baseline_jvmti), strtoul(line.c_str() + 2, nullptr, 10));
    } else if (line.rfind("t ", 0) == 0) {
        std::vector<std::string> words = split_words(line.substr(2));
        std::string root = words.empty() ? "" : words.front();
        if (!words.empty()) words.erase(words.begin());
        out = reply(select_target(baseline_jvmti, jni, root, words), 0);
    } else if (line.rfind("r ", 0) == 0) {
        out = reply(walk_to_target(baseline_jvmti), strtoul(line.c_str() + 2, nullptr, 10));
    } else if (line.rfind("u", 0) == 0) {
        out = reply(untag_everything(baseline_jvmti), 0);
    } else if (line.rfind("x ", 0) == 0) {
        out = reply(walk_to_target_roots_tagged(baseline_jvmti), strtoul(line.c_str() + 2, nullptr, 10));
    } else if (line.rfind("f ", 0) == 0) {
        out = reply(walk_everything(baseline_jvmti), strtoul(line.c_str() + 2, nullptr, 10));
    } else if (line.rfind("i ", 0) == 0) {
        std::vector<std::string> words = split_words(line.substr(2));
        size_t pad = words.size() > 1 ? strtoul(words[1].c_str(), nullptr, 10) : 0;
        out = reply(count_instances(baseline_jvmti, jni, words.empty() ? "" : words[0]), pad);
    } else {
        out = reply("error=command\n", 0);
    }
    baseline_vm->DetachCurrentThread();
    return out;
}

int open_listener(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 1) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

void run_baseline_server(int port)
{
    int listener = open_listener(port);
    if (listener < 0) {
        fprintf(stderr, "vorlanbase: cannot listen on 127.0.0.1:%d\n", port);
        return;
    }
    for (;;) {
        int client = accept(listener, nullptr, nullptr);
        if (client < 0) {
            if (errno == EINTR) continue;
            break;
        }
        std::string line;
        while (read_line(client, line))
            if (!send_all(client, handle_command(line))) break;
        close(client);
    }
    close(listener);
}
