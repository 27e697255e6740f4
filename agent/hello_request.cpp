// hello: who answers, and what it can be asked.
#include <unistd.h>

#include "agent_state.h"
#include "records.h"
#include "request_table.h"

#ifndef VORLAN_VERSION
#define VORLAN_VERSION "0"
#endif

namespace {

std::string system_property(jvmtiEnv* env, const char* name)
{
    char* value = nullptr;
    if (env->GetSystemProperty(name, &value) != JVMTI_ERROR_NONE || !value) return "";
    std::string text = value;
    env->Deallocate(reinterpret_cast<unsigned char*>(value));
    return text;
}

}  // namespace

std::string hello_request(RequestContext& ctx)
{
    RequestArgs args(ctx.request, 0, {});
    if (!args.ok()) return error_body("hello", err::USAGE, args.error());
    jvmtiEnv* env = ctx.agent.jvmti;
    RecordWriter status, rows;
    status.record("ok").field("hello");
    rows.record("agent").field("vorlanagt").field(VORLAN_VERSION);
    rows.record("protocol").field(1);
    rows.record("jvm").field(system_property(env, "java.vm.name")).field(system_property(env, "java.vm.version"));
    rows.record("pid").field(static_cast<int64_t>(getpid()));
    for (const RequestEntry& entry : request_table()) rows.record("request").field(entry.name).field(entry.synopsis);
    return ok_body(status, rows);
}
