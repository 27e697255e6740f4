// object H: one object, complete: its fields with their values, an array's elements
// (paged), a String's whole text, or what a class object holds.
#include <climits>

#include "agent_state.h"
#include "object_binding.h"
#include "object_listing.h"
#include "request_table.h"

Status object_request(RequestContext& ctx, Reply& reply)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    RequestArgs args(ctx.request, 1, {"offset", "limit"});
    ElementPage page;
    page.offset = args.number("offset", 0, 0, INT32_MAX);
    page.limit = args.number("limit", ElementPage{}.limit, 0, MAX_ELEMENT_LIMIT);
    if (!args.ok()) return args.failure();
    Expected<jobject> found = requested_object(agent, jni, args.positional());
    if (!found) return found.failure();
    Expected<ObjectSummary> self = summarize(agent, jni, *found);
    if (!self) return self.failure();
    Expected<bool> is_array = list_object(ctx, reply.records, *found, *self, page);
    if (!is_array) return is_array.failure();
    if (*is_array) reply.status.pair("offset", page.offset).pair("limit", page.limit);
    return {};
}
