// follow KIND NAME [HOW NAME DECLARED TYPE]...: a chain of references from a loaded
// class or a live thread, followed field by field in the running VM, as a heap
// snapshot's path to an object names it. Answers the live handle of the chain's end, or
// where the chain no longer leads to an object of the class the snapshot had there.
#include <optional>
#include <string>
#include <vector>

#include "agent_state.h"
#include "jvmti_check.h"
#include "jvmti_memory.h"
#include "class_names.h"
#include "loaded_classes.h"
#include "object_binding.h"
#include "object_values.h"
#include "request_table.h"

namespace {

struct Step {
    std::string how;       // static, field, element, loader
    std::string name;      // the field's name; the element's index
    std::string declared;  // field: its declaring class; empty: any
    std::string type;      // the class the step reaches; empty: not checked
};

struct FollowChain {
    std::string kind;  // class, thread
    std::string name;
    std::vector<Step> steps;
};

Expected<FollowChain> parse_chain(const FramedRequest& req)
{
    const std::vector<std::string>& a = req.args;
    if (a.size() < 2 || (a.size() - 2) % 4 != 0)
        return Failure{err::USAGE, "follow takes a root kind and name, then four fields per step (HOW NAME DECLARED TYPE)"};
    FollowChain chain{a[0], a[1], {}};
    if (chain.kind != "class" && chain.kind != "thread")
        return Failure{err::USAGE, "a chain starts at a class or a thread, not '" + chain.kind + "'"};
    for (size_t i = 2; i < a.size(); i += 4) {
        Step s{a[i], a[i + 1], a[i + 2], a[i + 3]};
        if (s.how != "static" && s.how != "field" && s.how != "element" && s.how != "loader")
            return Failure{err::USAGE, "a step is static, field, element or loader, not '" + s.how + "'"};
        if (s.how == "element" && (s.name.empty() || s.name.find_first_not_of("0123456789") != std::string::npos ||
                                   s.name.size() > 10))
            return Failure{err::USAGE, "an element step needs an index, not '" + s.name + "'"};
        if ((s.how == "static" || s.how == "field") && s.name.empty())
            return Failure{err::USAGE, "a " + s.how + " step needs a field name"};
        chain.steps.push_back(std::move(s));
    }
    return chain;
}

// A local reference that is deleted when replaced or when it goes.
class LocalRef {
public:
    LocalRef(JNIEnv* jni, jobject obj) : jni_(jni), obj_(obj) {}
    ~LocalRef() { reset(nullptr); }
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;
    jobject get() const { return obj_; }
    void reset(jobject obj)
    {
        if (obj_) jni_->DeleteLocalRef(obj_);
        obj_ = obj;
    }

private:
    JNIEnv* jni_;
    jobject obj_;
};

// How far one start object took the chain.
struct Walk {
    std::vector<ObjectSummary> objects;  // the start, then each step's object
    size_t followed = 0;                 // steps that reached what they should
    std::string why;                     // empty when every step did
};

std::string step_text(const Step& s)
{
    if (s.how == "element") return "[" + s.name + "]";
    if (s.how == "loader") return "its class loader";
    return (s.how == "static" ? "static " : "field ") + (s.declared.empty() ? "" : s.declared + ".") + s.name;
}

// The object one step leads to from `from` (a local reference, nullptr for null), or the
// sentence why the step cannot be taken there.
Expected<jobject> take_step(Agent& agent, JNIEnv* jni, jobject from, const ObjectSummary& at, const Step& s,
                            std::string& why)
{
    const ClassInfo& info = agent.classes.info(at.class_id);
    if (s.how == "static" || s.how == "loader") {
        if (info.kind != ValueKind::ClassObject) {
            why = "it is a " + at.type + ", not a class";
            return static_cast<jobject>(nullptr);
        }
        auto cls = static_cast<jclass>(from);
        if (s.how == "loader") {
            jobject loader = nullptr;
            if (Status got = jvmti_check(agent.jvmti, agent.jvmti->GetClassLoader(cls, &loader), "GetClassLoader"); !got)
                return got.failure();
            if (!loader) why = "the class was loaded by the boot loader";
            return loader;
        }
        Expected<uint32_t> id = agent.classes.id_of(jni, cls);
        if (!id) return id.failure();
        if (Status loaded = agent.classes.load_fields(jni, *id); !loaded) return loaded.failure();
        const ClassInfo& represented = agent.classes.info(*id);
        for (size_t i = represented.own_begin; i < represented.fields.size(); i++) {
            const FieldEntry& f = represented.fields[i];
            if (!f.is_static || f.name != s.name) continue;
            if (f.signature.size() == 1) {
                why = "static " + s.name + " of " + represented.name + " is a primitive";
                return static_cast<jobject>(nullptr);
            }
            return jni->GetStaticObjectField(cls, f.id);
        }
        why = represented.name + " has no static field " + s.name;
        return static_cast<jobject>(nullptr);
    }
    if (s.how == "element") {
        if (info.kind != ValueKind::ObjectArray) {
            why = "it is a " + at.type + ", not an array of objects";
            return static_cast<jobject>(nullptr);
        }
        auto array = static_cast<jobjectArray>(from);
        const long long index = std::stoll(s.name);
        const jsize length = jni->GetArrayLength(array);
        if (index >= length) {
            why = "the array has " + std::to_string(length) + " elements now";
            return static_cast<jobject>(nullptr);
        }
        return jni->GetObjectArrayElement(array, static_cast<jsize>(index));
    }
    // An instance field, found among every field the object's class has and inherits.
    if (Status loaded = agent.classes.load_fields(jni, at.class_id); !loaded) return loaded.failure();
    const FieldEntry* match = nullptr;
    for (const FieldEntry& f : agent.classes.info(at.class_id).fields)
        if (!f.is_static && f.name == s.name && (s.declared.empty() || f.declaring == s.declared)) match = &f;
    if (!match) {
        why = at.type + " has no field " + (s.declared.empty() ? "" : s.declared + ".") + s.name;
        return static_cast<jobject>(nullptr);
    }
    if (match->signature.size() == 1) {
        why = "field " + s.name + " of " + at.type + " is a primitive";
        return static_cast<jobject>(nullptr);
    }
    return jni->GetObjectField(from, match->id);
}

// Follows the chain from start as far as it leads.
Expected<Walk> walk_from(Agent& agent, JNIEnv* jni, jobject start, const FollowChain& chain)
{
    Walk walk;
    Expected<ObjectSummary> first = summarize(agent, jni, start);
    if (!first) return first.failure();
    walk.objects.push_back(std::move(*first));
    LocalRef current(jni, jni->NewLocalRef(start));
    for (const Step& s : chain.steps) {
        std::string why;
        Expected<jobject> next = take_step(agent, jni, current.get(), walk.objects.back(), s, why);
        if (!next) return next.failure();
        jni->ExceptionClear();
        current.reset(*next);
        const std::string where = "step " + std::to_string(walk.followed + 1) + " (" + step_text(s) + ")";
        if (!why.empty()) {
            walk.why = where + " cannot be taken: " + why;
            return walk;
        }
        if (!current.get()) {
            walk.why = where + " is null now" + (s.type.empty() ? "" : "; the snapshot had a " + s.type + " there");
            return walk;
        }
        Expected<ObjectSummary> reached = summarize(agent, jni, current.get());
        if (!reached) return reached.failure();
        walk.objects.push_back(std::move(*reached));
        if (!s.type.empty() && walk.objects.back().type != s.type) {
            walk.why = where + " leads to a " + walk.objects.back().type + " now; the snapshot had a " + s.type +
                       " there";
            return walk;
        }
        walk.followed++;
    }
    return walk;
}

// Global references to the objects a chain may start at, deleted with this.
class Starts {
public:
    explicit Starts(JNIEnv* jni) : jni_(jni) {}
    ~Starts()
    {
        for (jobject o : objects) jni_->DeleteGlobalRef(o);
    }
    Starts(const Starts&) = delete;
    Starts& operator=(const Starts&) = delete;
    void add(jobject local)
    {
        if (jobject global = jni_->NewGlobalRef(local)) objects.push_back(global);
    }
    std::vector<jobject> objects;

private:
    JNIEnv* jni_;
};

// Where a chain may start: the loaded classes of that name (one per class loader that
// defines one), or the live threads of that name.
Status find_starts(Agent& agent, JNIEnv* jni, const FollowChain& chain, Starts& starts)
{
    if (chain.kind == "class") {
        const std::string signature = jvm_signature_of(chain.name);
        LoadedClasses loaded(agent.jvmti, jni);
        if (Status s = loaded.status(); !s) return s;
        for (jclass cls : loaded)
            if (class_signature(agent.jvmti, cls) == signature) starts.add(cls);
        return {};
    }
    jint n = 0;
    JvmtiBuffer<jthread> threads(agent.jvmti);
    if (Status got = jvmti_check(agent.jvmti, agent.jvmti->GetAllThreads(&n, threads.out()), "GetAllThreads"); !got)
        return got;
    if (n > 0 && jni->EnsureLocalCapacity(n + 16) != JNI_OK) jni->ExceptionClear();
    for (jint i = 0; i < n; i++) {
        jthread thread = threads[static_cast<size_t>(i)];
        jvmtiThreadInfo info{};
        if (agent.jvmti->GetThreadInfo(thread, &info) == JVMTI_ERROR_NONE) {
            JvmtiBuffer<char> name(agent.jvmti, info.name);
            if (name && chain.name == name.get()) starts.add(thread);
            if (info.thread_group) jni->DeleteLocalRef(info.thread_group);
            if (info.context_class_loader) jni->DeleteLocalRef(info.context_class_loader);
        }
        jni->DeleteLocalRef(thread);
    }
    return {};
}

void write_step(RecordWriter& w, const FollowChain& chain, const Walk& walk, size_t i)
{
    if (i == 0) w.record("step").field(chain.kind).field(chain.name).field("");
    else {
        const Step& s = chain.steps[i - 1];
        w.record("step").field(s.how).field(s.name).field(s.declared);
    }
    write_object_fields(w, &walk.objects[i]);
}

}  // namespace

Status follow_request(RequestContext& ctx, Reply& reply)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    Expected<FollowChain> parsed = parse_chain(ctx.request);
    if (!parsed) return parsed.failure();
    const FollowChain& chain = *parsed;
    if (chain.steps.size() > 4096) return Failure{err::USAGE, "a chain of more than 4096 steps"};
    Starts starts(jni);
    if (Status found = find_starts(agent, jni, chain, starts); !found) return found;
    if (starts.objects.empty())
        return Failure{err::NOT_FOUND, chain.kind == "class" ? "no loaded class is named " + chain.name
                                                             : "no live thread is named " + chain.name};

    // Several classes (one per loader) or threads may bear the name: the first whose
    // chain leads all the way is the answer, else the one that went furthest.
    std::optional<Walk> best;
    size_t complete = 0;
    for (jobject start : starts.objects) {
        Expected<Walk> walk = walk_from(agent, jni, start, chain);
        if (!walk) return walk.failure();
        const bool whole = walk->why.empty();
        complete += whole ? 1 : 0;
        if (!best || (whole && !best->why.empty()) || (!whole && !best->why.empty() && walk->followed > best->followed))
            best = std::move(*walk);
    }
    const bool found = best->why.empty();
    reply.status.pair("found", found ? "yes" : "no").pair("steps", static_cast<int64_t>(chain.steps.size()))
        .pair("followed", static_cast<int64_t>(best->followed))
        .pair("starts", static_cast<int64_t>(starts.objects.size()));
    RecordWriter steps;
    for (size_t i = 0; i < best->objects.size(); i++) write_step(steps, chain, *best, i);
    if (!found) reply.records.record("note").field(best->why);
    if (complete > 1)
        reply.records.record("note").field(std::to_string(complete) + (chain.kind == "class" ? " classes" : " threads") +
                                           " named " + chain.name + " lead along this chain; the first is given");
    reply.records.append(steps);
    return {};
}
