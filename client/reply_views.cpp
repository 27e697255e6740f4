#include "reply_views.h"

namespace {

// The four fields H TYPE SIZE PREVIEW from field index first on.
ObjectRef objectAt(const Record& r, size_t first)
{
    return {r.field(first), r.field(first + 1), countOf(r.field(first + 2)), r.field(first + 3)};
}

// HOW NAME DECLARED H TYPE SIZE PREVIEW, as referrer and step records carry them.
Hop hopOf(const Record& r)
{
    return {r.field(1), r.field(2), r.field(3), objectAt(r, 4)};
}

GcRoot rootOf(const Record& r)
{
    return {r.field(1), r.field(2), r.field(3)};
}

// One record of an object's listing into view.
void addObjectRecord(ObjectView& view, const Record& r)
{
    if (r.kind() == "object") {
        view.object = {r.field(1), r.field(2), countOf(r.field(3)), r.field(5)};
        view.length = countOf(r.field(4));
    } else if (r.kind() == "text") {
        view.hasText = true;
        view.text = r.field(1);
    } else if (r.kind() == "slot") {
        view.contents.push_back({r.field(1), r.field(2), r.field(3), r.field(4), r.field(5), objectAt(r, 6)});
    }
}

}  // namespace

Hello helloFrom(const FramedReply& reply)
{
    Hello hello;
    hello.figures = reply.status.figures;
    for (const Record& r : reply.records) {
        if (r.kind() == "agent") {
            hello.agentName = r.field(1);
            hello.agentVersion = r.field(2);
        } else if (r.kind() == "protocol") {
            hello.protocol = r.field(1);
        } else if (r.kind() == "jvm") {
            hello.jvmName = r.field(1);
            hello.jvmVersion = r.field(2);
        } else if (r.kind() == "pid") {
            hello.pid = countOf(r.field(1));
        } else if (r.kind() == "request") {
            hello.requests.push_back({r.field(1), r.field(2)});
        }
    }
    return hello;
}

ObjectView objectFrom(const FramedReply& reply)
{
    ObjectView view;
    view.figures = reply.status.figures;
    for (const Record& r : reply.records)
        addObjectRecord(view, r);
    return view;
}

std::vector<ObjectView> objectsFrom(const FramedReply& reply)
{
    std::vector<ObjectView> views;
    for (const Record& r : reply.records) {
        if (r.kind() == "object") {
            views.emplace_back();
            views.back().figures = reply.status.figures;
        }
        if (!views.empty())
            addObjectRecord(views.back(), r);
    }
    return views;
}

std::vector<ObjectRef> classObjectsFrom(const FramedReply& reply)
{
    std::vector<ObjectRef> classes;
    for (const Record& r : reply.records)
        if (r.kind() == "class")
            classes.push_back(objectAt(r, 1));
    return classes;
}



Histogram histogramFrom(const FramedReply& reply)
{
    Histogram histo;
    histo.figures = reply.status.figures;
    histo.classes = figureCount(histo.figures, "classes");
    histo.instances = figureCount(histo.figures, "instances");
    histo.bytes = figureCount(histo.figures, "bytes");
    for (const Record& r : reply.records)
        if (r.kind() == "class")
            histo.rows.push_back({r.field(1), countOf(r.field(2)), countOf(r.field(3))});
    return histo;
}

InstancesPage instancesFrom(const FramedReply& reply)
{
    InstancesPage page;
    page.figures = reply.status.figures;
    page.total = figureCount(page.figures, "total");
    page.offset = figureCount(page.figures, "offset");
    page.limit = figureCount(page.figures, "limit");
    page.classes = figureCount(page.figures, "classes");
    for (const Record& r : reply.records)
        if (r.kind() == "instance")
            page.rows.push_back(objectAt(r, 1));
    return page;
}

Referrers referrersFrom(const FramedReply& reply)
{
    Referrers refs;
    refs.figures = reply.status.figures;
    refs.total = figureCount(refs.figures, "total");
    for (const Record& r : reply.records) {
        if (r.kind() == "referrer")
            refs.rows.push_back(hopOf(r));
        else if (r.kind() == "root")
            refs.roots.push_back(rootOf(r));
    }
    return refs;
}

PathReply pathFrom(const FramedReply& reply)
{
    PathReply path;
    path.figures = reply.status.figures;
    const auto found = path.figures.find("found");
    path.found = found == path.figures.end() ? std::string() : found->second;
    path.length = figureCount(path.figures, "length");
    for (const Record& r : reply.records) {
        if (r.kind() == "note") {
            path.notes.push_back(r.field(1));
        } else if (r.kind() == "root") {
            path.hasRoot = true;
            path.root = rootOf(r);
        } else if (r.kind() == "step") {
            path.steps.push_back(hopOf(r));
        }
    }
    return path;
}

FollowReply followFrom(const FramedReply& reply)
{
    FollowReply follow;
    follow.figures = reply.status.figures;
    const auto found = follow.figures.find("found");
    follow.found = found != follow.figures.end() && found->second == "yes";
    follow.steps = figureCount(follow.figures, "steps");
    follow.followed = figureCount(follow.figures, "followed");
    for (const Record& r : reply.records) {
        if (r.kind() == "note")
            follow.notes.push_back(r.field(1));
        else if (r.kind() == "step")
            follow.chain.push_back(hopOf(r));
    }
    return follow;
}

RootsPage rootsFrom(const FramedReply& reply)
{
    RootsPage page;
    page.figures = reply.status.figures;
    page.total = figureCount(page.figures, "total");
    for (const Record& r : reply.records)
        if (r.kind() == "root")
            page.rows.push_back({rootOf(r), objectAt(r, 4)});
    return page;
}
