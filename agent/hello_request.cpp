// hello: who answers, and what it can be asked.
#include <unistd.h>

#include "agent_state.h"
#include "jvmti_memory.h"
#include "request_table.h"

#ifndef VORLAN_VERSION
#define VORLAN_VERSION "0"
#endif

namespace {

std::string system_property(jvmtiEnv* env, const char* name)
{
    JvmtiBuffer<char> value(env);
    if (env->GetSystemProperty(name, value.out()) != JVMTI_ERROR_NONE || !value) return "";
    return value.get();
}

}  // namespace

Status hello_request(RequestContext& ctx, Reply& reply)
{
    RequestArgs args(ctx.request, 0, {});
    if (!args.ok()) return args.failure();
    jvmtiEnv* env = ctx.agent.jvmti;
    RecordWriter& rows = reply.records;
    rows.record("agent").field("vorlanagt").field(VORLAN_VERSION);
    rows.record("protocol").field(1);
    rows.record("jvm").field(system_property(env, "java.vm.name")).field(system_property(env, "java.vm.version"));
    rows.record("pid").field(static_cast<int64_t>(getpid()));
    for (const RequestEntry& entry : request_table()) rows.record("request").field(entry.name).field(entry.synopsis);
    return {};
}
