#include "cli_commands.h"

#include <vector>

#include "json_writer.h"
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
    std::string signature;  // the JVM signature as listed, without the trailing blank
    std::string text;       // what is printed for it
};

// The lines of a reply up to the first one without a blank, as the viewer takes them.
std::vector<Entry> entries(const ReplyLines& lines, bool raw)
{
    std::vector<Entry> out;
    for (size_t i = 0; i < lines.size(); i++) {
        std::string_view line = lines[i];
        size_t blank = line.find(' ');
        if (blank == std::string_view::npos) break;
        std::string_view signature = line.substr(blank + 1);
        signature = signature.substr(0, signature.find(' '));
        out.push_back({std::string(line.substr(0, blank)), std::string(signature),
                       raw ? std::string(line) : describe_line(line)});
    }
    return out;
}

// One object of a tree, with what it refers to when the walk went below it.
struct TreeNode {
    Entry entry;
    bool repeated = false;  // already on the path above: not expanded again
    std::vector<TreeNode> children;
};

std::vector<TreeNode> walk_tree(AgentClient& client, const CliOptions& o, const std::vector<Entry>& level,
                                int depth, std::vector<std::string>& path)
{
    std::vector<TreeNode> nodes;
    for (const Entry& e : level) {
        TreeNode node{e, false, {}};
        for (const auto& h : path) node.repeated = node.repeated || h == e.handle;
        if (!node.repeated && depth > 0) {
            path.push_back(e.handle);
            node.children = walk_tree(client, o, entries(client.getClasses('e', e.handle), o.raw), depth - 1, path);
            path.pop_back();
        }
        nodes.push_back(std::move(node));
    }
    return nodes;
}

void print_tree(const std::vector<TreeNode>& nodes, size_t indent, std::ostream& out)
{
    for (const TreeNode& n : nodes) {
        out << std::string(2 * indent, ' ') << n.entry.text << (n.repeated ? "  (already above)\n" : "\n");
        print_tree(n.children, indent + 1, out);
    }
}

// handle, type (slash form) and signature of one listing entry.
void entry_json(JsonWriter& w, const Entry& e)
{
    w.key("handle").value(e.handle);
    w.key("type").value(convSignature(e.signature, TraceLog()));
    w.key("signature").value(e.signature);
}

void tree_json(JsonWriter& w, const std::vector<TreeNode>& nodes)
{
    w.beginArray();
    for (const TreeNode& n : nodes) {
        w.beginObject();
        entry_json(w, n.entry);
        w.key("already_above").flag(n.repeated);
        w.key("children");
        tree_json(w, n.children);
        w.endObject();
    }
    w.endArray();
}

void listing_json(const std::vector<Entry>& list, const char* key, const std::string& handle, std::ostream& out)
{
    JsonWriter w;
    w.beginObject();
    if (!handle.empty()) w.key("handle").value(handle);
    w.key(key).beginArray();
    for (const Entry& e : list) {
        w.beginObject();
        entry_json(w, e);
        w.endObject();
    }
    w.endArray().endObject();
    out << w.text();
}

void print_entries(const std::vector<Entry>& list, std::ostream& out)
{
    for (const Entry& e : list) out << e.text << "\n";
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
    std::vector<Entry> roots = entries(client.getClasses('p', ""), o.raw);
    if (o.json)
        listing_json(roots, "roots", "", out);
    else
        print_entries(roots, out);
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
    if (o.json)
        listing_json(refs, "references", handle, out);
    else
        print_entries(refs, out);
    return 0;
}

int cli_tree(AgentClient& client, const CliOptions& o, const std::string& handle, std::ostream& out,
             std::ostream& err)
{
    if (!connect(client, o, err)) return 1;
    std::vector<std::string> path;
    std::vector<TreeNode> tree;
    if (handle.empty()) {
        tree = walk_tree(client, o, entries(client.getClasses('p', ""), o.raw), o.depth, path);
    } else {
        std::vector<Entry> refs = entries(client.getClasses('e', handle), o.raw);
        if (refs.empty()) {
            err << "vorlan-cli: no object with handle " << handle << " (handles come from a roots listing)\n";
            return 1;
        }
        path.push_back(handle);
        tree = walk_tree(client, o, refs, o.depth - 1, path);
    }
    if (o.json) {
        JsonWriter w;
        w.beginObject();
        w.key("handle");
        if (handle.empty()) w.null(); else w.value(handle);
        w.key("children");
        tree_json(w, tree);
        w.endObject();
        out << w.text();
        return 0;
    }
    if (!handle.empty()) out << handle << "\n";
    print_tree(tree, handle.empty() ? 0 : 1, out);
    return 0;
}

int cli_quit(AgentClient& client, const CliOptions& o, std::ostream& out, std::ostream& err)
{
    if (!connect(client, o, err)) return 1;
    client.disconnectJvmti();
    if (o.json)
        out << JsonWriter().beginObject().key("sent").value("q").endObject().text();
    else
        out << "sent q: the Java program is ending\n";
    return 0;
}
