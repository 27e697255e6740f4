#include "walk_target.h"

#include "object_binding.h"
#include "request_table.h"

Expected<WalkTarget> start_walk_to(RequestContext& ctx, const std::string& handle_text)
{
    WalkTarget w;
    Expected<jobject> target = requested_object(ctx.agent, ctx.jni, handle_text);
    if (!target) return target.failure();
    w.object = *target;
    Expected<jvmtiEnv*> scratch = ctx.scratch();
    if (!scratch) return scratch.failure();
    w.env = *scratch;
    if (Status s = tag_threads(w.env, ctx.jni, w.threads); !s) return s.failure();
    return w;
}
