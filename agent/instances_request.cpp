// instances CLASS: the live instances of the classes of that name (and, if asked, of
// their subclasses), paged in heap order, with their total.
#include <algorithm>
#include <climits>
#include <vector>

#include "agent_state.h"
#include "jvmti_check.h"
#include "local_frame.h"
#include "object_binding.h"
#include "object_values.h"
#include "records.h"
#include "request_table.h"
#include "scratch_env.h"

namespace {

constexpr const char* VERB = "instances";
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

}  // namespace

std::string instances_request(RequestContext& ctx)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    RequestArgs args(ctx.request, 1, {"subclasses", "offset", "limit", "gc"});
    PageWalk page;
    page.offset = args.number("offset", 0, 0, INT64_MAX / 2);
    page.limit = args.number("limit", DEFAULT_LIMIT, 0, MAX_LIMIT);
    const bool subclasses = args.flag("subclasses", false);
    const bool collect = args.flag("gc", true);
    if (!args.ok()) return error_body(VERB, err::USAGE, args.error());
    const std::string& name = args.positional();
    const std::string signature = jvm_signature_of(name);
    if (signature.empty()) return error_body(VERB, err::USAGE, "'" + name + "' is a primitive type, not a class");

    LocalFrame frame(jni, 64);
    ScratchEnv scratch(agent.vm);
    if (!scratch.ok()) return error_body(VERB, err::JVM, scratch.error());
    std::string why;

    // Every loaded class gets its catalog id; the classes named, and with subclasses=1
    // every class assignable to one of them, are tagged so the walk reports only theirs.
    jint n = 0;
    jclass* loaded = nullptr;
    if (!jvmti_ok(scratch.get(), scratch.get()->GetLoadedClasses(&n, &loaded), "GetLoadedClasses", &why))
        return error_body(VERB, err::JVM, why);
    if (n > 0 && jni->EnsureLocalCapacity(n + 16) != JNI_OK) jni->ExceptionClear();
    std::vector<jclass> named;
    std::vector<uint32_t> ids(static_cast<size_t>(n), UINT32_MAX);
    for (jint i = 0; i < n; i++) {
        ids[static_cast<size_t>(i)] = agent.classes.id_of(jni, loaded[i], &why);
        if (ids[static_cast<size_t>(i)] != UINT32_MAX && agent.classes.info(ids[static_cast<size_t>(i)]).signature == signature)
            named.push_back(loaded[i]);
    }
    size_t classes = 0;
    bool ok = !named.empty();
    for (jint i = 0; i < n && ok; i++) {
        if (ids[static_cast<size_t>(i)] == UINT32_MAX) continue;
        bool wanted = false;
        for (jclass c : named)
            wanted = wanted || (subclasses ? jni->IsAssignableFrom(loaded[i], c) == JNI_TRUE : jni->IsSameObject(loaded[i], c));
        if (!wanted) continue;
        classes++;
        ok = jvmti_ok(scratch.get(), scratch.get()->SetTag(loaded[i], scratch_tag::CLASS | ids[static_cast<size_t>(i)]),
                      "SetTag", &why);
    }
    for (jint i = 0; i < n; i++) jni->DeleteLocalRef(loaded[i]);
    scratch.get()->Deallocate(reinterpret_cast<unsigned char*>(loaded));
    if (named.empty()) return error_body(VERB, err::NOT_FOUND, "no loaded class is named " + name);
    if (!ok) return error_body(VERB, err::JVM, why);

    double gc_ms = 0;
    if (collect) {
        Stopwatch gc;
        if (!jvmti_ok(scratch.get(), scratch.get()->ForceGarbageCollection(), "ForceGarbageCollection", &why))
            return error_body(VERB, err::JVM, why);
        gc_ms = gc.ms();
        report_pause("the collection of \"instances\"", gc_ms);
    }
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_iteration_callback = page_object;
    Stopwatch walk;
    if (!jvmti_ok(scratch.get(),
                  scratch.get()->IterateThroughHeap(JVMTI_HEAP_FILTER_CLASS_UNTAGGED, nullptr, &callbacks, &page),
                  "IterateThroughHeap", &why))
        return error_body(VERB, err::JVM, why);
    const double walk_ms = walk.ms();
    report_pause("the walk of \"instances\"", walk_ms);

    std::vector<jobject> objects;
    std::vector<jlong> tags;
    if (!objects_with_tags(scratch.get(), {scratch_tag::RESULT}, objects, tags, &why))
        return error_body(VERB, err::JVM, why);
    for (uint64_t id : page.class_objects)
        if (jobject c = jni->NewLocalRef(agent.classes.info(static_cast<uint32_t>(id)).ref)) objects.push_back(c);

    std::vector<ObjectSummary> listed;
    listed.reserve(objects.size());
    for (jobject o : objects) {
        ObjectSummary s;
        bool fine = summarize(agent, jni, o, s, &why);
        jni->DeleteLocalRef(o);
        if (!fine) return error_body(VERB, err::JVM, why);
        listed.push_back(std::move(s));
    }
    // The VM hands tagged objects back in no useful order; handles give a stable one.
    std::sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) { return a.handle < b.handle; });

    RecordWriter status, rows;
    status.record("ok").field(VERB).pair("total", page.total).pair("offset", page.offset).pair("limit", page.limit)
        .pair("classes", static_cast<int64_t>(classes)).pair_ms("gc_ms", gc_ms).pair_ms("walk_ms", walk_ms)
        .pair("walks", 1);
    for (const ObjectSummary& s : listed) {
        rows.record("instance");
        write_object_fields(rows, &s);
    }
    return ok_body(status, rows);
}
