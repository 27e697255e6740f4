#include "framed_text.h"

#include <cstdio>
#include <map>

#include "collection_reader.h"
#include "root_names.h"
#include "text_table.h"

namespace {

std::string number(long long n)
{
    return n < 0 ? std::string() : std::to_string(n);
}

std::string sizeText(long long size)
{
    return size < 0 ? std::string() : std::to_string(size) + " bytes";
}

// The target of a reference slot or hop: handle, type, size, preview as table cells.
std::vector<std::string> objectCells(const ObjectRef& o)
{
    return {o.handle, o.type, number(o.size), printable(o.preview)};
}

std::string rootText(const GcRoot& root)
{
    std::string text = "root " + root.kind;
    if (!root.thread.empty())
        text += "  thread \"" + printable(root.thread) + "\"";
    if (!root.method.empty())
        text += "  " + printable(root.method);
    return text;
}

// "(what)" lines for figures a reply leaves to say, blank-free in the middle of output.
std::string pagingNote(long long first, size_t shown, long long total, const char* what, const char* options)
{
    if (total < 0 || static_cast<long long>(shown) >= total)
        return {};
    if (shown == 0)
        return "(none of " + std::to_string(total) + " " + what + " listed; " + options + ")\n";
    return "(" + std::to_string(first) + "-" + std::to_string(first + static_cast<long long>(shown) - 1) + " of " +
           std::to_string(total) + " " + what + "; " + options + ")\n";
}

}  // namespace

std::string printable(const std::string& text)
{
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string holdLabel(const std::string& how, const std::string& name, const std::string& declared,
                      bool qualify)
{
    if (how == "field")
        return qualify && !declared.empty() ? printable(declared) + "." + printable(name) : printable(name);
    if (how == "element")
        return "[" + name + "]";
    if (how == "pool")
        return "pool #" + name;
    return name.empty() ? how : how + " " + printable(name);
}

std::string showText(const ObjectView& view)
{
    const ObjectRef& o = view.object;
    std::string out = o.handle + "  " + o.type + "  " + sizeText(o.size);
    if (view.length >= 0)
        out += "  length " + std::to_string(view.length);
    if (!o.preview.empty())
        out += "  " + printable(o.preview);
    out += "\n";
    if (view.hasText)
        out += "  text \"" + printable(view.text) + "\"\n";

    std::map<std::string, int> fieldNames;
    for (const Slot& s : view.contents)
        if (s.how == "field")
            ++fieldNames[s.name];
    TextTable table;
    table.indent = "  ";
    table.rightAligned = {false, false, false, false, false, true};
    size_t elements = 0;
    for (const Slot& s : view.contents) {
        elements += s.how == "element";
        std::vector<std::string> row = {holdLabel(s.how, s.name, s.declared, fieldNames[s.name] > 1), s.declType};
        if (s.refersToObject()) {
            row.push_back("->");
            for (std::string& cell : objectCells(s.target))
                row.push_back(std::move(cell));
        } else {
            row.push_back("=");
            row.push_back(printable(s.value));
        }
        table.rows.push_back(std::move(row));
    }
    out += formatTable(table);
    const long long offset = figureCount(view.figures, "offset", 0);
    out += pagingNote(offset, elements, view.length, "elements", "--offset and --limit page through them");
    return out;
}

std::string collectionText(const ObjectView& view, const CollectionPage& page)
{
    const ObjectRef& o = view.object;
    std::string out = o.handle + "  " + o.type + "  " + sizeText(o.size) + "  size " + number(page.size);
    if (page.capacity >= 0)
        out += "  capacity " + std::to_string(page.capacity);
    out += "\n";
    for (const std::string& step : page.unwrapped)
        out += "  (" + printable(step) + ")\n";
    TextTable table;
    table.indent = "  ";
    table.rightAligned = {true};
    const bool map = page.shape == CollectionShape::map;
    for (const CollectionEntry& e : page.entries) {
        std::vector<std::string> row = {"[" + std::to_string(e.position) + "]", printable(entryLabel(e.key))};
        if (map) {
            row.push_back("->");
            row.push_back(printable(entryLabel(e.value)));
        }
        row.push_back(e.key.handle.empty() ? "" : e.key.handle);
        if (map)
            row.push_back(e.value.handle.empty() ? "" : e.value.handle);
        table.rows.push_back(std::move(row));
    }
    out += formatTable(table);
    if (page.size == 0)
        out += "  (empty)\n";
    else
        out += pagingNote(page.offset, page.entries.size(), page.size, map ? "entries" : "elements",
                          "--offset and --limit page through them; --internals shows the fields");
    return out;
}

std::string histoText(const Histogram& histo)
{
    std::string out = " num     #instances         #bytes  class name\n"
                      "----------------------------------------------\n";
    long long instances = 0, bytes = 0;
    char line[64];
    for (size_t i = 0; i < histo.rows.size(); ++i) {
        const HistoRow& row = histo.rows[i];
        std::snprintf(line, sizeof line, "%4zu:%14lld%15lld  ", i + 1, row.instances, row.bytes);
        out += line + printable(row.type) + "\n";
        instances += row.instances;
        bytes += row.bytes;
    }
    std::snprintf(line, sizeof line, "Total%14lld%15lld\n", instances, bytes);
    out += line;
    if (histo.classes >= 0 && static_cast<long long>(histo.rows.size()) < histo.classes)
        out += "(" + std::to_string(histo.rows.size()) + " of " + std::to_string(histo.classes) +
               " classes; the heap holds " + std::to_string(histo.instances) + " instances, " +
               std::to_string(histo.bytes) + " bytes)\n";
    return out;
}

std::string instancesText(const InstancesPage& page)
{
    TextTable table;
    table.rightAligned = {false, false, true, false};
    for (const ObjectRef& o : page.rows)
        table.rows.push_back(objectCells(o));
    std::string out = formatTable(table);
    if (page.total == 0)
        return "(no instances)\n";
    const long long first = page.offset < 0 ? 0 : page.offset;
    return out + pagingNote(first + 1, page.rows.size(), page.total, "instances",
                            "--offset and --limit page through them");
}

std::string referrersText(const Referrers& refs)
{
    TextTable table;
    table.rightAligned = {false, false, true, false, false};
    for (const Hop& r : refs.rows) {
        std::vector<std::string> row = objectCells(r.object);
        // Spelled out: "element [1]" beside a preview of "[2]" would read as two indexes.
        std::string label = holdLabel(r.how, r.name, r.declared, r.declared != r.object.type);
        if (r.how == "field" || r.how == "element")
            label = r.how + " " + label;
        row.insert(row.begin() + 3, std::move(label));
        table.rows.push_back(std::move(row));
    }
    std::string out = formatTable(table);
    for (const GcRoot& root : refs.roots)
        out += rootText(root) + "\n";
    if (refs.rows.empty() && refs.roots.empty())
        return "(no referrers)\n";
    return out + pagingNote(1, refs.rows.size(), refs.total, "referring objects", "--limit lists more");
}

std::string pathText(const PathReply& path, const std::string& handle)
{
    std::string notes;
    for (const std::string& note : path.notes)
        notes += "(" + printable(note) + ")\n";
    if (path.found == "none" || path.steps.empty()) {
        if (path.notes.empty())
            notes += "(no GC root reaches " + handle + ": it is garbage waiting for the next collection)\n";
        return notes;
    }
    std::string out;
    if (path.hasRoot)
        out += "root: " + printable(pathRootName(path)) + "\n";
    TextTable table;
    table.rightAligned = {false, false, false, true};
    table.rows.push_back({"held by", "type", "object", "size", ""});
    std::string holderType;
    for (const Hop& step : path.steps) {
        std::string label = &step == &path.steps.front()
                                ? std::string("GC root")
                                : holdLabel(step.how, step.name, step.declared, step.declared != holderType);
        table.rows.push_back({label, step.object.type, step.object.handle, number(step.object.size),
                              printable(step.object.preview)});
        holderType = step.object.type;
    }
    out += formatTable(table);
    if (path.found == "weak")
        out += "(reachable only through a Reference's referent)\n";
    return out + notes;
}
