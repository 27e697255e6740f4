// class NAME: the class objects of the loaded classes of that name, one per class
// loader, so a client can read a class's statics (object H lists them).
#include <algorithm>
#include <vector>

#include "agent_state.h"
#include "class_names.h"
#include "loaded_classes.h"
#include "object_binding.h"
#include "object_values.h"
#include "request_table.h"

Status class_request(RequestContext& ctx, Reply& reply)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    RequestArgs args(ctx.request, 1, {});
    if (!args.ok()) return args.failure();
    const std::string& name = args.positional();
    const std::string signature = jvm_signature_of(name);
    if (signature.empty()) return Failure{err::USAGE, "'" + name + "' is a primitive type, not a class"};

    LoadedClasses loaded(agent.jvmti, jni);
    if (Status s = loaded.status(); !s) return s;
    std::vector<ObjectSummary> found;
    std::vector<bool> boot;
    for (jclass cls : loaded) {
        Expected<uint32_t> id = agent.classes.id_of(jni, cls);
        if (!id || agent.classes.info(*id).signature != signature) continue;
        Expected<ObjectSummary> s = summarize(agent, jni, cls);
        if (!s) return s.failure();
        jobject loader = nullptr;
        const bool by_boot = agent.jvmti->GetClassLoader(cls, &loader) == JVMTI_ERROR_NONE && !loader;
        if (loader) jni->DeleteLocalRef(loader);
        found.push_back(std::move(*s));
        boot.push_back(by_boot);
    }
    if (found.empty()) return Failure{err::NOT_FOUND, "no loaded class is named " + name};
    // The boot loader's class first: it is the one the JDK's own code uses.
    std::vector<size_t> order(found.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return boot[a] && !boot[b]; });
    reply.status.pair("count", static_cast<int64_t>(found.size()));
    for (size_t i : order) {
        reply.records.record("class");
        write_object_fields(reply.records, &found[i]);
    }
    return {};
}
