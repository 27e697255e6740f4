// instances CLASS: the live instances of the classes of that name (and, if asked, of
// their subclasses), paged in heap order, with their total.
#include <algorithm>
#include <climits>
#include <vector>

#include "agent_state.h"
#include "instances_search.h"
#include "jvmti_check.h"
#include "loaded_classes.h"
#include "object_binding.h"
#include "object_values.h"
#include "request_table.h"
#include "scratch_tags.h"
#include "stopwatch.h"
#include "tagged_objects.h"

namespace {

constexpr int64_t DEFAULT_LIMIT = 100;
constexpr int64_t MAX_LIMIT = 100000;

struct PageWalk {
    int64_t offset = 0, limit = 0;
    int64_t total = 0;
    std::vector<uint64_t> class_objects;  // listed instances that are tagged class objects
};

jint JNICALL page_object(jlong class_tag, jlong, jlong* tag_ptr, jint, void* user_data)
{
    // The filter passes every object whose class object carries any tag; class objects
    // listed here carry one from now on, so their instances would pass too.
    if (scratch_tag::kind(class_tag) != scratch_tag::CLASS) return 0;
    auto* w = static_cast<PageWalk*>(user_data);
    int64_t n = w->total++;
    if (n < w->offset || n >= w->offset + w->limit) return 0;
    // Instances of java.lang.Class that are selected classes themselves keep their tag.
    if (scratch_tag::kind(*tag_ptr) == scratch_tag::CLASS) w->class_objects.push_back(scratch_tag::index(*tag_ptr));
    else *tag_ptr = scratch_tag::RESULT;
    return 0;
}

// Tags every loaded class whose signature is the one asked for (with subclasses, every
// class assignable to one of those), so the walk reports only their instances. How many
// were tagged; not-found when no loaded class has the signature.
Expected<size_t> tag_selected_classes(RequestContext& ctx, jvmtiEnv* env, const std::string& name,
                                      const std::string& signature, bool subclasses)
{
    ClassCatalog& catalog = ctx.agent.classes;
    JNIEnv* jni = ctx.jni;
    LoadedClasses loaded(env, jni);
    if (Status s = loaded.status(); !s) return s.failure();
    std::vector<jclass> named;
    std::vector<uint32_t> ids;
    for (jclass cls : loaded) {
        Expected<uint32_t> id = catalog.id_of(jni, cls);
        ids.push_back(id ? *id : UINT32_MAX);
        if (id && catalog.info(*id).signature == signature) named.push_back(cls);
    }
    if (named.empty()) return Failure{err::NOT_FOUND, "no loaded class is named " + name};
    size_t tagged = 0;
    for (jint i = 0; i < loaded.size(); i++) {
        const uint32_t id = ids[static_cast<size_t>(i)];
        if (id == UINT32_MAX) continue;
        bool wanted = false;
        for (jclass c : named)
            wanted = wanted || (subclasses ? jni->IsAssignableFrom(loaded[i], c) == JNI_TRUE : jni->IsSameObject(loaded[i], c));
        if (!wanted) continue;
        tagged++;
        if (Status s = jvmti_check(env, env->SetTag(loaded[i], scratch_tag::CLASS | id), "SetTag"); !s) return s.failure();
    }
    return tagged;
}

}  // namespace

Status instances_request(RequestContext& ctx, Reply& reply)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    RequestArgs args(ctx.request, 1, {"subclasses", "offset", "limit", "gc", "contains"});
    PageWalk page;
    page.offset = args.number("offset", 0, 0, INT64_MAX / 2);
    page.limit = args.number("limit", DEFAULT_LIMIT, 0, MAX_LIMIT);
    const bool subclasses = args.flag("subclasses", false);
    const bool collect = args.flag("gc", true);
    const std::optional<std::string> contains = args.text("contains");
    if (!args.ok()) return args.failure();
    if (contains && contains->empty()) return Failure{err::USAGE, "contains= needs a text"};
    const std::string& name = args.positional();
    const std::string signature = jvm_signature_of(name);
    if (signature.empty()) return Failure{err::USAGE, "'" + name + "' is a primitive type, not a class"};

    Expected<jvmtiEnv*> scratch = ctx.scratch();
    if (!scratch) return scratch.failure();
    jvmtiEnv* env = *scratch;
    Expected<size_t> classes = tag_selected_classes(ctx, env, name, signature, subclasses);
    if (!classes) return classes.failure();

    double gc_ms = 0;
    if (collect) {
        Stopwatch gc;
        if (Status s = jvmti_check(env, env->ForceGarbageCollection(), "ForceGarbageCollection"); !s) return s;
        gc_ms = gc.ms();
        report_pause("the collection of \"instances\"", gc_ms);
    }
    if (contains)
        return search_instances(ctx, reply, env, {*contains, page.offset, page.limit, static_cast<int64_t>(*classes), gc_ms});
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_iteration_callback = page_object;
    Stopwatch walk;
    if (Status s = jvmti_check(env, env->IterateThroughHeap(JVMTI_HEAP_FILTER_CLASS_UNTAGGED, nullptr, &callbacks, &page),
                               "IterateThroughHeap");
        !s)
        return s;
    const double walk_ms = walk.ms();
    report_pause("the walk of \"instances\"", walk_ms);

    std::vector<ObjectSummary> listed;
    auto list = [&](jobject o) -> Status {
        Expected<ObjectSummary> s = summarize(agent, jni, o);
        if (!s) return s.failure();
        listed.push_back(std::move(*s));
        return {};
    };
    if (Status s = visit_objects_with_tags(env, jni, {scratch_tag::RESULT}, [&](jobject o, jlong) { return list(o); }); !s)
        return s;
    for (uint64_t id : page.class_objects) {
        jobject c = jni->NewLocalRef(agent.classes.info(static_cast<uint32_t>(id)).ref);
        if (!c) continue;
        Status s = list(c);
        jni->DeleteLocalRef(c);
        if (!s) return s;
    }
    // The VM hands tagged objects back in no useful order; handles give a stable one.
    std::sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) { return a.handle < b.handle; });

    reply.status.pair("total", page.total).pair("offset", page.offset).pair("limit", page.limit)
        .pair("classes", static_cast<int64_t>(*classes)).pair_ms("gc_ms", gc_ms).pair_ms("walk_ms", walk_ms)
        .pair("walks", 1);
    for (const ObjectSummary& s : listed) {
        reply.records.record("instance");
        write_object_fields(reply.records, &s);
    }
    return {};
}
