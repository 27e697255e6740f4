#include "snapshot_json.h"

#include <cstdio>

#include "json_writer.h"

namespace {

long long number(uint64_t n)
{
    return static_cast<long long>(n);
}

void share(JsonWriter& w, double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    w.numberText(text);
}

void notes(JsonWriter& w, const Notes& notes)
{
    w.key("notes").beginArray();
    for (const std::string& note : notes)
        w.value(note);
    w.endArray();
}

// An object as a JSON object, or null when there is none.
void object(JsonWriter& w, const ObjectRow& o)
{
    if (o.object == kNoObject) {
        w.null();
        return;
    }
    w.beginObject();
    w.key("id").value(o.id);
    w.key("type").value(o.type);
    w.key("shallow").value(number(o.shallow));
    w.key("retained").value(number(o.retained));
    w.key("share");
    share(w, o.share);
    w.key("reachable").flag(o.reachable);
    w.key("preview").value(o.preview);
    w.endObject();
}

void heap(JsonWriter& w, const HeapSummary& h)
{
    w.key("heap").beginObject();
    w.key("objects").value(number(h.objects));
    w.key("bytes").value(number(h.bytes));
    w.key("reachable_objects").value(number(h.reachableObjects));
    w.key("reachable_bytes").value(number(h.reachableBytes));
    w.key("unreachable_objects").value(number(h.unreachableObjects));
    w.key("unreachable_bytes").value(number(h.unreachableBytes));
    w.key("classes").value(number(h.classes));
    w.key("roots").value(number(h.roots));
    w.key("dump_bytes").value(number(h.dumpBytes));
    w.key("java_version").value(h.javaVersion);
    w.key("layout").value(h.layout);
    w.key("weak_counted").flag(h.weakAsStrong);
    w.key("values").flag(h.values);
    w.endObject();
}

void root(JsonWriter& w, const RootRow& r)
{
    w.beginObject();
    w.key("kind").value(r.kind);
    w.key("description").value(r.description);
    w.key("thread").value(r.thread);
    w.key("method").value(r.method);
    w.endObject();
}

void roots(JsonWriter& w, const std::vector<RootRow>& rows)
{
    w.key("roots").beginArray();
    for (const RootRow& r : rows)
        root(w, r);
    w.endArray();
}

// The members of a path reply, in the object being written.
void pathMembers(JsonWriter& w, const RootPathReply& p)
{
    w.key("found").value(p.found);
    w.key("held_by").value(p.heldBy);
    roots(w, p.roots);
    w.key("steps").beginArray();
    for (const PathHop& s : p.steps) {
        w.beginObject();
        w.key("via").value(s.via);
        w.key("weak").flag(s.weak);
        w.key("object");
        object(w, s.object);
        w.endObject();
    }
    w.endArray();
}

void bigObjects(JsonWriter& w, const std::vector<BigObjectRow>& rows)
{
    w.key("objects").beginArray();
    for (const BigObjectRow& r : rows) {
        w.beginObject();
        w.key("sentence").value(r.sentence);
        w.key("object");
        object(w, r.object);
        w.key("accumulation");
        object(w, r.accumulation);
        w.key("accumulation_children").value(number(r.accumulationChildren));
        w.key("path").beginObject();
        pathMembers(w, r.path);
        w.endObject();
        w.endObject();
    }
    w.endArray();
}

}  // namespace

std::string topJson(const TopReply& top)
{
    JsonWriter w;
    w.beginObject();
    heap(w, top.heap);
    bigObjects(w, top.rows);
    notes(w, top.notes);
    w.endObject();
    return w.text();
}

std::string suspectsJson(const SuspectsReply& suspects)
{
    JsonWriter w;
    w.beginObject();
    heap(w, suspects.heap);
    w.key("threshold");
    share(w, suspects.threshold);
    bigObjects(w, suspects.rows);
    notes(w, suspects.notes);
    w.endObject();
    return w.text();
}

std::string dominatorsJson(const DominatorsReply& d)
{
    JsonWriter w;
    w.beginObject();
    w.key("top").flag(d.top);
    w.key("parent");
    object(w, d.parent);
    w.key("total").value(number(d.total));
    w.key("offset").value(number(d.offset));
    w.key("dominated").beginArray();
    for (const DominatedRow& r : d.rows) {
        w.beginObject();
        w.key("object");
        object(w, r.object);
        w.key("dominates").value(number(r.dominated));
        w.endObject();
    }
    w.endArray();
    notes(w, d.notes);
    w.endObject();
    return w.text();
}

std::string snapshotHistoJson(const HistogramReply& h)
{
    JsonWriter w;
    w.beginObject();
    w.key("classes").value(number(h.classes));
    w.key("instances").value(number(h.objects));
    w.key("bytes").value(number(h.bytes));
    w.key("reachable_bytes").value(number(h.reachableBytes));
    w.key("rows").beginArray();
    for (size_t i = 0; i < h.rows.size(); ++i) {
        const HistogramRow& r = h.rows[i];
        w.beginObject();
        w.key("num").value(static_cast<long long>(i + 1));
        w.key("instances").value(number(r.objects));
        w.key("bytes").value(number(r.shallow));
        w.key("retained").value(number(r.retained));
        w.key("class_name").value(r.className);
        w.key("type").value(r.type);
        w.endObject();
    }
    w.endArray();
    notes(w, h.notes);
    w.endObject();
    return w.text();
}

std::string snapshotInstancesJson(const InstancesReply& r)
{
    JsonWriter w;
    w.beginObject();
    w.key("class_name").value(r.className);
    w.key("classes").value(static_cast<long long>(r.classes));
    w.key("total").value(number(r.total));
    w.key("offset").value(number(r.offset));
    w.key("instances").beginArray();
    for (const ObjectRow& o : r.rows)
        object(w, o);
    w.endArray();
    notes(w, r.notes);
    w.endObject();
    return w.text();
}

std::string snapshotShowJson(const ObjectReply& r)
{
    JsonWriter w;
    w.beginObject();
    w.key("object");
    object(w, r.object);
    w.key("address").value(r.address);
    w.key("dominator");
    object(w, r.dominator);
    w.key("dominated_by_roots").flag(r.dominatedByRoots);
    w.key("length").count(r.length);
    w.key("text");
    if (r.hasText)
        w.value(r.text);
    else
        w.null();
    w.key("values").flag(r.values);
    w.key("element_offset").value(number(r.elementOffset));
    w.key("slots").beginArray();
    for (const ObjectSlot& s : r.slots) {
        w.beginObject();
        w.key("how").value(s.how);
        w.key("name").value(s.name);
        w.key("declared").value(s.declaringClass);
        w.key("declared_type").value(s.declaredType);
        w.key("reference").flag(s.reference);
        w.key("weak").flag(s.weak);
        w.key("value");
        if (s.value.empty())
            w.null();
        else
            w.value(s.value);
        w.key("target");
        object(w, s.target);
        w.endObject();
    }
    w.endArray();
    notes(w, r.notes);
    w.endObject();
    return w.text();
}

std::string snapshotPathJson(const RootPathReply& p)
{
    JsonWriter w;
    w.beginObject();
    w.key("target");
    object(w, p.target);
    pathMembers(w, p);
    notes(w, p.notes);
    w.endObject();
    return w.text();
}

std::string snapshotReferrersJson(const ReferrersReply& r)
{
    JsonWriter w;
    w.beginObject();
    w.key("target");
    object(w, r.target);
    w.key("total").value(number(r.total));
    w.key("referrers").beginArray();
    for (const ReferrerRow& row : r.rows) {
        w.beginObject();
        w.key("via").value(row.via);
        w.key("weak").flag(row.weak);
        w.key("holder");
        object(w, row.holder);
        w.endObject();
    }
    w.endArray();
    roots(w, r.roots);
    notes(w, r.notes);
    w.endObject();
    return w.text();
}

std::string compareJson(const CompareReply& c)
{
    JsonWriter w;
    w.beginObject();
    w.key("comparable").flag(c.comparable);
    w.key("refusal").value(c.refusal);
    w.key("objects").value(static_cast<long long>(c.objects));
    w.key("bytes").value(static_cast<long long>(c.bytes));
    w.key("reachable_bytes").value(static_cast<long long>(c.reachableBytes));
    w.key("classes").beginArray();
    for (const ClassDelta& d : c.rows) {
        w.beginObject();
        w.key("class_name").value(d.className);
        w.key("type").value(d.type);
        w.key("objects").value(static_cast<long long>(d.objects));
        w.key("shallow").value(static_cast<long long>(d.shallow));
        w.key("retained").value(static_cast<long long>(d.retained));
        w.key("objects_after").value(number(d.objectsAfter));
        w.key("shallow_after").value(number(d.shallowAfter));
        w.key("retained_after").value(number(d.retainedAfter));
        w.endObject();
    }
    w.endArray();
    notes(w, c.notes);
    w.endObject();
    return w.text();
}
