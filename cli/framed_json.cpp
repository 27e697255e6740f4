#include "framed_json.h"

#include "json_writer.h"
#include "root_names.h"

namespace {

// The reply's figures, numbers as numbers: "figures": {"walk_ms": 1.25, ...}.
void figures(JsonWriter& w, const Figures& figures)
{
    w.key("figures").beginObject();
    for (const auto& [name, text] : figures)
        w.key(name).numberText(text);
    w.endObject();
}

// handle, type, size, preview as members of the object being written; null handle
// when there is no object.
void objectMembers(JsonWriter& w, const ObjectRef& o)
{
    w.key("handle");
    if (o.handle.empty())
        w.null();
    else
        w.value(o.handle);
    w.key("type").value(o.type);
    w.key("size").count(o.size);
    w.key("preview").value(o.preview);
}

void hop(JsonWriter& w, const Hop& h)
{
    w.beginObject();
    w.key("how").value(h.how);
    w.key("name").value(h.name);
    w.key("declared").value(h.declared);
    objectMembers(w, h.object);
    w.endObject();
}

void root(JsonWriter& w, const GcRoot& r)
{
    w.beginObject();
    w.key("kind").value(r.kind);
    w.key("thread").value(r.thread);
    w.key("method").value(r.method);
    w.endObject();
}

}  // namespace

std::string showJson(const ObjectView& view, const std::string& note)
{
    JsonWriter w;
    w.beginObject();
    objectMembers(w, view.object);
    w.key("length").count(view.length);
    w.key("text");
    if (view.hasText)
        w.value(view.text);
    else
        w.null();
    w.key("slots").beginArray();
    for (const Slot& s : view.contents) {
        w.beginObject();
        w.key("how").value(s.how);
        w.key("name").value(s.name);
        w.key("declared").value(s.declared);
        w.key("declared_type").value(s.declType);
        w.key("value");
        if (s.refersToObject())
            w.null();
        else
            w.value(s.value);
        objectMembers(w, s.target);
        w.endObject();
    }
    w.endArray();
    if (!note.empty())
        w.key("note").value(note);
    figures(w, view.figures);
    w.endObject();
    return w.text();
}

std::string collectionJson(const ObjectView& view, const CollectionPage& page)
{
    static const char* const shapes[] = {"map", "set", "list"};
    JsonWriter w;
    w.beginObject();
    objectMembers(w, view.object);
    w.key("collection").beginObject();
    w.key("kind").value(page.kind);
    w.key("shape").value(shapes[static_cast<int>(page.shape)]);
    w.key("handle").value(page.handle);
    w.key("unwrapped").beginArray();
    for (const std::string& step : page.unwrapped)
        w.value(step);
    w.endArray();
    w.key("size").count(page.size);
    w.key("capacity").count(page.capacity);
    w.key("offset").value(page.offset);
    w.key("complete").flag(page.complete);
    w.key("entries").beginArray();
    for (const CollectionEntry& e : page.entries) {
        w.beginObject();
        w.key("position").value(e.position);
        w.key(page.shape == CollectionShape::map ? "key" : "element").beginObject();
        objectMembers(w, e.key);
        w.endObject();
        if (page.shape == CollectionShape::map) {
            w.key("value").beginObject();
            objectMembers(w, e.value);
            w.endObject();
        }
        w.key("holder");
        if (e.holder.empty())
            w.null();
        else
            w.value(e.holder);
        w.endObject();
    }
    w.endArray();
    w.endObject();
    w.endObject();
    return w.text();
}

std::string histoJson(const Histogram& histo)
{
    JsonWriter w;
    w.beginObject();
    w.key("classes").count(histo.classes);
    w.key("instances").count(histo.instances);
    w.key("bytes").count(histo.bytes);
    w.key("rows").beginArray();
    for (size_t i = 0; i < histo.rows.size(); ++i) {
        const HistoRow& row = histo.rows[i];
        w.beginObject();
        w.key("num").value(static_cast<long long>(i + 1));
        w.key("instances").count(row.instances);
        w.key("bytes").count(row.bytes);
        w.key("type").value(row.type);
        w.endObject();
    }
    w.endArray();
    figures(w, histo.figures);
    w.endObject();
    return w.text();
}

std::string instancesJson(const InstancesPage& page)
{
    JsonWriter w;
    w.beginObject();
    w.key("total").count(page.total);
    w.key("offset").count(page.offset);
    w.key("limit").count(page.limit);
    w.key("classes").count(page.classes);
    w.key("instances").beginArray();
    for (const ObjectRef& o : page.rows) {
        w.beginObject();
        objectMembers(w, o);
        w.endObject();
    }
    w.endArray();
    figures(w, page.figures);
    w.endObject();
    return w.text();
}

std::string referrersJson(const Referrers& refs)
{
    JsonWriter w;
    w.beginObject();
    w.key("total").count(refs.total);
    w.key("referrers").beginArray();
    for (const Hop& r : refs.rows)
        hop(w, r);
    w.endArray();
    w.key("roots").beginArray();
    for (const GcRoot& r : refs.roots)
        root(w, r);
    w.endArray();
    figures(w, refs.figures);
    w.endObject();
    return w.text();
}

std::string pathJson(const PathReply& path)
{
    JsonWriter w;
    w.beginObject();
    w.key("found").value(path.found);
    w.key("length").count(path.length);
    w.key("notes").beginArray();
    for (const std::string& note : path.notes)
        w.value(note);
    w.endArray();
    w.key("root");
    if (path.hasRoot)
        root(w, path.root);
    else
        w.null();
    w.key("root_name").value(pathRootName(path));
    w.key("steps").beginArray();
    for (const Hop& s : path.steps)
        hop(w, s);
    w.endArray();
    figures(w, path.figures);
    w.endObject();
    return w.text();
}
