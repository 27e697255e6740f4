#include "snapshot_text.h"

#include <cstdio>

#include "framed_text.h"
#include "java_text.h"
#include "text_table.h"

namespace {

std::string notesText(const Notes& notes)
{
    std::string out;
    for (const std::string& note : notes)
        out += "(" + printable(note) + ")\n";
    return out;
}

// "s12  java.util.HashMap  48 bytes  retained 1,234 bytes (1.2 %)"
std::string objectLine(const ObjectRow& o)
{
    std::string line = o.id + "  " + printable(o.type) + "  " + std::to_string(o.shallow) + " bytes";
    if (o.reachable)
        line += "  retained " + std::to_string(o.retained) + " bytes (" + shareText(o.share) + ")";
    else
        line += "  unreachable";
    if (!o.preview.empty())
        line += "  " + printable(o.preview);
    return line;
}

// id, type, shallow, retained, preview as table cells.
std::vector<std::string> objectCells(const ObjectRow& o)
{
    return {o.id, printable(o.type), std::to_string(o.shallow), o.reachable ? std::to_string(o.retained) : "-",
            printable(o.preview)};
}

std::string rootLine(const RootRow& root)
{
    return "root " + printable(root.description);
}

// The path on one line, the root first and then what each step goes through:
// `Java frame of thread "main" in App.main -> App$Store -> cache -> table -> [12]`.
std::string pathLine(const RootPathReply& path)
{
    if (path.steps.empty())
        return "no GC root reaches it";
    const RootRow* root = path.roots.empty() ? nullptr : &path.roots.front();
    std::string line = root ? printable(root->description) : "a GC root";
    // A system class root names the class object it holds; other roots do not.
    if (!root || root->kind != "system class")
        line += " -> " + printable(path.steps.front().object.type);
    for (size_t i = 1; i < path.steps.size(); ++i)
        line += " -> " + printable(path.steps[i].via);
    return line;
}

std::string bigObjectsText(const std::vector<BigObjectRow>& rows)
{
    std::string out;
    for (size_t i = 0; i < rows.size(); ++i) {
        const BigObjectRow& r = rows[i];
        out += std::to_string(i + 1) + ". " + printable(r.sentence) + "\n";
        out += "   " + r.object.id + "  " + printable(r.object.type) + "  shallow " + bytesText(r.object.shallow) +
               ", retained " + bytesText(r.object.retained) + "\n";
        if (r.accumulation.object != r.object.object)
            out += "   accumulates in " + r.accumulation.id + "  " + printable(r.accumulation.type) + "  retained " +
                   bytesText(r.accumulation.retained) + ", " + groupedCount(r.accumulationChildren) +
                   " objects directly below it\n";
        out += "   path: " + pathLine(r.path) + "\n";
    }
    return out;
}

std::string heapLine(const HeapSummary& heap)
{
    std::string line = "heap: " + groupedCount(heap.objects) + " objects, " + bytesText(heap.bytes) + "; " +
                       bytesText(heap.reachableBytes) + " strongly reachable";
    if (!heap.javaVersion.empty())
        line += "; Java " + heap.javaVersion;
    return line + "\n";
}

std::string signedCount(int64_t n)
{
    return (n > 0 ? "+" : "") + std::to_string(n);
}

}  // namespace

std::string topText(const TopReply& top)
{
    std::string out = heapLine(top.heap) + "\n";
    if (top.rows.empty())
        out += "(no object retains anything)\n";
    return out + bigObjectsText(top.rows) + notesText(top.notes);
}

std::string suspectsText(const SuspectsReply& suspects)
{
    std::string out = heapLine(suspects.heap);
    if (!suspects.rows.empty())
        out += "objects retaining " + shareText(suspects.threshold) + " of it or more:\n\n";
    return out + bigObjectsText(suspects.rows) + notesText(suspects.notes);
}

std::string dominatorsText(const DominatorsReply& d)
{
    std::string out;
    if (d.top)
        out += "the top of the dominator tree: " + groupedCount(d.total) + (d.total == 1 ? " object\n" : " objects\n");
    else
        out += objectLine(d.parent) + "\n  dominates " + groupedCount(d.total) + (d.total == 1 ? " object" : " objects") +
               " directly\n";
    TextTable table;
    table.indent = "  ";
    table.rightAligned = {true, true, true, true, false, false, false};
    if (!d.rows.empty())
        table.rows.push_back({"retained", "share", "shallow", "dominates", "object", "type", ""});
    for (const DominatedRow& r : d.rows)
        table.rows.push_back({std::to_string(r.object.retained), shareText(r.object.share), std::to_string(r.object.shallow),
                              groupedCount(r.dominated), r.object.id, printable(r.object.type), printable(r.object.preview)});
    out += formatTable(table);
    if (d.rows.size() < d.total)
        out += "(" + groupedCount(d.offset + 1) + "-" + groupedCount(d.offset + d.rows.size()) + " of " +
               groupedCount(d.total) + "; --offset and --limit page through them)\n";
    return out + notesText(d.notes);
}

std::string snapshotHistoText(const HistogramReply& h)
{
    std::string out = " num     #instances         #bytes      #retained  class name\n"
                      "--------------------------------------------------------------\n";
    uint64_t objects = 0, bytes = 0;
    char line[96];
    for (size_t i = 0; i < h.rows.size(); ++i) {
        const HistogramRow& row = h.rows[i];
        std::snprintf(line, sizeof line, "%4zu:%14llu%15llu%15llu  ", i + 1, static_cast<unsigned long long>(row.objects),
                      static_cast<unsigned long long>(row.shallow), static_cast<unsigned long long>(row.retained));
        out += line + printable(row.className) + "\n";
        objects += row.objects;
        bytes += row.shallow;
    }
    std::snprintf(line, sizeof line, "Total%14llu%15llu\n", static_cast<unsigned long long>(objects),
                  static_cast<unsigned long long>(bytes));
    out += line;
    if (h.rows.size() < h.classes)
        out += "(" + std::to_string(h.rows.size()) + " of " + std::to_string(h.classes) + " classes; the heap holds " +
               std::to_string(h.objects) + " instances, " + std::to_string(h.bytes) + " bytes)\n";
    return out + notesText(h.notes);
}

std::string snapshotInstancesText(const InstancesReply& r)
{
    if (r.total == 0)
        return "(no instances)\n" + notesText(r.notes);
    TextTable table;
    table.rightAligned = {false, false, true, true, false};
    table.rows.push_back({"object", "type", "shallow", "retained", ""});
    for (const ObjectRow& o : r.rows)
        table.rows.push_back(objectCells(o));
    std::string out = formatTable(table);
    if (r.rows.size() < r.total)
        out += "(" + groupedCount(r.offset + 1) + "-" + groupedCount(r.offset + r.rows.size()) + " of " +
               groupedCount(r.total) + " instances, largest retained first; --offset and --limit page through them)\n";
    return out + notesText(r.notes);
}

std::string snapshotShowText(const ObjectReply& r)
{
    std::string out = objectLine(r.object);
    if (r.length >= 0)
        out += "  length " + std::to_string(r.length);
    out += "\n  address " + r.address;
    if (r.dominatedByRoots)
        out += "; kept alive by the GC roots directly";
    else if (r.dominator.object != kNoObject)
        out += "; dominated by " + r.dominator.id + " " +
               printable(r.dominator.preview.rfind("class ", 0) == 0 ? r.dominator.preview : r.dominator.type);
    out += "\n";
    if (r.hasText)
        out += "  text \"" + printable(r.text) + "\"\n";
    TextTable table;
    table.indent = "  ";
    table.rightAligned = {false, false, false, false, false, true, true, false};
    for (const ObjectSlot& s : r.slots) {
        std::string label;
        if (s.how == "field")
            label = printable(s.name);
        else if (s.how == "static")
            label = "static " + printable(s.name);
        else if (s.how == "element")
            label = "[" + s.name + "]";
        else if (s.how == "pool")
            label = "pool #" + s.name;
        else
            label = s.how;
        if (s.weak)
            label += " (weak)";
        std::vector<std::string> row = {label, printable(s.declaredType)};
        if (s.target.object != kNoObject) {
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
    if (r.length > 0 || r.elements > 0) {
        const uint64_t total = r.length >= 0 ? static_cast<uint64_t>(r.length) : r.elements;
        uint64_t shown = 0;
        for (const ObjectSlot& s : r.slots)
            shown += s.how == "element";
        if (shown < total)
            out += "(elements from " + groupedCount(r.elementOffset) + ", " + groupedCount(shown) + " listed of " +
                   groupedCount(total) + "; --offset and --limit page through them)\n";
    }
    return out + notesText(r.notes);
}

std::string snapshotPathText(const RootPathReply& path)
{
    if (path.steps.empty())
        return notesText(path.notes);
    std::string out;
    for (const RootRow& root : path.roots)
        out += rootLine(root) + "\n";
    std::string indent = "  ";
    for (const PathHop& step : path.steps) {
        out += indent;
        if (!step.via.empty())
            out += printable(step.via) + "  ";
        out += objectLine(step.object) + "\n";
        indent += "  ";
    }
    if (!path.heldBy.empty())
        out += "(held by " + printable(path.heldBy) + ")\n";
    return out + notesText(path.notes);
}

std::string snapshotReferrersText(const ReferrersReply& r)
{
    TextTable table;
    table.rightAligned = {false, false, true, true, false, false};
    for (const ReferrerRow& row : r.rows) {
        std::vector<std::string> cells = objectCells(row.holder);
        cells.insert(cells.begin() + 4, printable(row.via) + (row.weak ? " (weak)" : ""));
        table.rows.push_back(std::move(cells));
    }
    std::string out = formatTable(table);
    for (const RootRow& root : r.roots)
        out += rootLine(root) + "\n";
    if (r.rows.empty() && r.roots.empty())
        out += "(no referrers)\n";
    else if (r.rows.size() < r.total)
        out += "(" + groupedCount(r.rows.size()) + " of " + groupedCount(r.total) + " references; --limit lists more)\n";
    return out + notesText(r.notes);
}

std::string compareText(const CompareReply& c)
{
    if (!c.comparable)
        return "";
    std::string out = "heap: " + signedCount(c.objects) + " objects, " + signedCount(c.bytes) + " bytes (" +
                      signedCount(c.reachableBytes) + " strongly reachable)\n";
    TextTable table;
    table.rightAligned = {true, true, true, true, false};
    table.rows.push_back({"objects", "shallow", "retained", "retained now", "class name"});
    for (const ClassDelta& d : c.rows)
        table.rows.push_back({signedCount(d.objects), signedCount(d.shallow), signedCount(d.retained),
                              std::to_string(d.retainedAfter), printable(d.className)});
    return out + formatTable(table) + notesText(c.notes);
}
