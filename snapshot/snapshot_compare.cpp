// Comparing two snapshots of one program per class: what each keeps of itself (its
// profile), and the deltas between two profiles, refused for two different programs.
#include <algorithm>
#include <map>
#include <set>

#include "java_text.h"
#include "snapshot_queries.h"

namespace {

// Classes a program's own code loads: by a class loader, and not made up by the VM at
// run time (lambdas, proxies, reflection accessors, hidden classes) nor arrays.
bool isApplicationClass(const ClassInfo& info, std::string_view name)
{
    if (info.loader == kNoObject || name.empty() || name[0] == '[')
        return false;
    static const char* const generated[] = {"$$Lambda", "/0x", "jdk.internal.reflect.Generated", "jdk.proxy",
                                            "com.sun.proxy.", "java.lang.invoke.LambdaForm$", "$Proxy"};
    return std::none_of(std::begin(generated), std::end(generated),
                        [&](const char* part) { return name.find(part) != std::string_view::npos; });
}

// "a, b, c and 4 more"
std::string someOf(const std::vector<std::string>& names, size_t shown = 3)
{
    std::string out;
    for (size_t i = 0; i < names.size() && i < shown; ++i)
        out += (i ? ", " : "") + names[i];
    if (names.size() > shown)
        out += " and " + std::to_string(names.size() - shown) + " more";
    return out.empty() ? "none" : out;
}

}  // namespace

ClassProfile Snapshot::profile() const
{
    ClassProfile profile;
    std::map<std::string, ClassProfile::Totals> byName;
    std::set<std::string> application;
    const ClassTotals& totals = analysis_.classes;
    for (uint32_t c = 0; c < index_.classes.size(); ++c) {
        const std::string name(index_.className(c));
        if (isApplicationClass(index_.classes[c], name))
            application.insert(name);
        if (c >= totals.objects.size() || totals.objects[c] == 0)
            continue;
        ClassProfile::Totals& t = byName[name];
        t.className = name;
        t.objects += totals.objects[c];
        t.shallow += totals.shallowBytes[c];
        t.retained += totals.retainedBytes[c];
    }
    for (auto& [name, t] : byName)
        profile.classes.push_back(std::move(t));
    profile.applicationClasses.assign(application.begin(), application.end());
    // The main thread's first frame, when it still runs main. A thread whose name the
    // dump did not let be read serves when it runs main and no thread named "main" does:
    // the name is read only where its String lies near the thread in the dump, and a
    // dump of the same program must not pass for another's.
    std::string unnamedMain;
    for (const ThreadInfo& thread : index_.threads) {
        if (thread.frames.empty())
            continue;
        const std::string method(index_.name(thread.frames.back().method));
        if (method.size() <= 5 || method.compare(method.size() - 5, 5, ".main") != 0)
            continue;
        if (index_.name(thread.name) == "main")
            profile.mainMethod = method;
        else if (thread.name == 0 && unnamedMain.empty())
            unnamedMain = method;
    }
    if (profile.mainMethod.empty())
        profile.mainMethod = unnamedMain;
    profile.objects = index_.graph.objects;
    profile.bytes = heapBytes_;
    profile.reachableBytes = analysis_.tree.retainedBytes(kVirtualRoot);
    profile.weakAsStrong = analysis_.weakAsStrong;
    return profile;
}

CompareReply compareSnapshots(const ClassProfile& before, const ClassProfile& after, uint64_t limit)
{
    CompareReply reply;
    if (!before.mainMethod.empty() && !after.mainMethod.empty() && before.mainMethod != after.mainMethod) {
        reply.refusal = "these are two different programs: the first runs " + before.mainMethod + ", the second " +
                        after.mainMethod;
        return reply;
    }
    const std::vector<std::string>& a = before.applicationClasses;
    const std::vector<std::string>& b = after.applicationClasses;
    if (!a.empty() || !b.empty()) {
        std::vector<std::string> common, onlyBefore, onlyAfter;
        std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(common));
        std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(onlyBefore));
        std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(onlyAfter));
        const size_t smaller = std::min(a.size(), b.size());
        if (smaller == 0 || common.size() * 2 < smaller) {
            reply.refusal = "these look like two different programs: of their application classes (" +
                            std::to_string(a.size()) + " and " + std::to_string(b.size()) + "), " +
                            std::to_string(common.size()) + " are in both; only in the first: " + someOf(onlyBefore) +
                            "; only in the second: " + someOf(onlyAfter);
            return reply;
        }
        if (!onlyAfter.empty())
            reply.notes.push_back(std::to_string(onlyAfter.size()) + " application classes are new in the second: " +
                                  someOf(onlyAfter));
    }
    reply.comparable = true;
    std::map<std::string, std::pair<const ClassProfile::Totals*, const ClassProfile::Totals*>> joined;
    for (const auto& t : before.classes)
        joined[t.className].first = &t;
    for (const auto& t : after.classes)
        joined[t.className].second = &t;
    const ClassProfile::Totals none;
    for (const auto& [name, pair] : joined) {
        const ClassProfile::Totals& was = pair.first ? *pair.first : none;
        const ClassProfile::Totals& is = pair.second ? *pair.second : none;
        ClassDelta d;
        d.className = name;
        d.type = javaTypeName(name);
        d.objects = static_cast<int64_t>(is.objects) - static_cast<int64_t>(was.objects);
        d.shallow = static_cast<int64_t>(is.shallow) - static_cast<int64_t>(was.shallow);
        d.retained = static_cast<int64_t>(is.retained) - static_cast<int64_t>(was.retained);
        d.objectsAfter = is.objects;
        d.shallowAfter = is.shallow;
        d.retainedAfter = is.retained;
        if (d.objects != 0 || d.shallow != 0 || d.retained != 0)
            reply.rows.push_back(std::move(d));
    }
    std::sort(reply.rows.begin(), reply.rows.end(), [](const ClassDelta& x, const ClassDelta& y) {
        if (x.retained != y.retained)
            return x.retained > y.retained;
        if (x.shallow != y.shallow)
            return x.shallow > y.shallow;
        return x.className < y.className;
    });
    if (reply.rows.size() > limit)
        reply.rows.resize(limit);
    reply.objects = static_cast<int64_t>(after.objects) - static_cast<int64_t>(before.objects);
    reply.bytes = static_cast<int64_t>(after.bytes) - static_cast<int64_t>(before.bytes);
    reply.reachableBytes = static_cast<int64_t>(after.reachableBytes) - static_cast<int64_t>(before.reachableBytes);
    if (before.weakAsStrong != after.weakAsStrong)
        reply.notes.push_back("the two snapshots count retained sizes differently (one counts referents as retained): "
                              "compare their retained columns with care");
    reply.notes.push_back("objects have no identity across two snapshots (their addresses move), so the comparison "
                          "is per class: objects, shallow and retained bytes, after less before");
    return reply;
}
