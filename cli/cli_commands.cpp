#include "cli_commands.h"

#include <set>
#include <vector>

#include "signature_names.h"

namespace {

bool connect(AgentClient& client, const CliOptions& o, std::ostream& err)
{
    client.setPort(o.port);
    client.connectIfNeeded();
    if (client.connected()) return true;
    err << "vorlan-cli: cannot reach the agent on 127.0.0.1:" << tcpPort(o.port) << "\n";
    return false;
}

struct Entry {
    std::string handle;
    std::string text;  // what is printed for it
};

// The lines of a reply up to the first one without a blank, as the viewer takes them.
std::vector<Entry> entries(const ReplyLines& lines, bool raw)
{
    std::vector<Entry> out;
    for (size_t i = 0; i < lines.size(); i++) {
        std::string_view line = lines[i];
        size_t blank = line.find(' ');
        if (blank == std::string_view::npos) break;
        out.push_back({std::string(line.substr(0, blank)), raw ? std::string(line) : describe_line(line)});
    }
    return out;
}

void print_tree(AgentClient& client, const CliOptions& o, const std::vector<Entry>& level, int depth,
                std::vector<std::string>& path, std::ostream& out)
{
    for (const Entry& e : level) {
        out << std::string(2 * path.size(), ' ') << e.text;
        bool on_path = false;
        for (const auto& h : path) on_path = on_path || h == e.handle;
        if (on_path) {
            out << "  (already above)\n";
            continue;
        }
        out << "\n";
        if (depth <= 0) continue;
        path.push_back(e.handle);
        print_tree(client, o, entries(client.getClasses('e', e.handle), o.raw), depth - 1, path, out);
        path.pop_back();
    }
}

}  // namespace

std::string describe_line(std::string_view line)
{
    size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return std::string(line);
    std::string handle(line.substr(0, blank));
    if (handle.size() < 8) handle.resize(8, ' ');
    return handle + "  " + convSignature(line.substr(blank + 1), TraceLog());
}

int cli_roots(AgentClient& client, const CliOptions& o, std::ostream& out, std::ostream& err)
{
    if (!connect(client, o, err)) return 1;
    for (const Entry& e : entries(client.getClasses('p', ""), o.raw)) out << e.text << "\n";
    return 0;
}

int cli_expand(AgentClient& client, const CliOptions& o, const std::string& handle, std::ostream& out,
               std::ostream& err)
{
    if (!connect(client, o, err)) return 1;
    std::vector<Entry> refs = entries(client.getClasses('e', handle), o.raw);
    // Every live object refers at least to its class: nothing at all means no such object.
    if (refs.empty()) {
        err << "vorlan-cli: no object with handle " << handle << " (handles come from a roots listing)\n";
        return 1;
    }
    for (const Entry& e : refs) out << e.text << "\n";
    return 0;
}

int cli_tree(AgentClient& client, const CliOptions& o, const std::string& handle, std::ostream& out,
             std::ostream& err)
{
    if (!connect(client, o, err)) return 1;
    std::vector<std::string> path;
    if (handle.empty()) {
        print_tree(client, o, entries(client.getClasses('p', ""), o.raw), o.depth, path, out);
        return 0;
    }
    std::vector<Entry> refs = entries(client.getClasses('e', handle), o.raw);
    if (refs.empty()) {
        err << "vorlan-cli: no object with handle " << handle << " (handles come from a roots listing)\n";
        return 1;
    }
    out << handle << "\n";
    path.push_back(handle);
    print_tree(client, o, refs, o.depth - 1, path, out);
    return 0;
}

int cli_quit(AgentClient& client, const CliOptions& o, std::ostream& out, std::ostream& err)
{
    if (!connect(client, o, err)) return 1;
    client.disconnectJvmti();
    out << "sent q: the Java program is ending\n";
    return 0;
}
