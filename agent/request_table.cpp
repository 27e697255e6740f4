#include "request_table.h"

#include <malloc.h>

#include "agent_state.h"
#include "local_frame.h"

// How many local references a request may hold at once without declaring more: the
// helpers that need thousands (loaded classes, objects by tag) open frames of their own.
constexpr jint REQUEST_LOCALS = 64;

const std::vector<RequestEntry>& request_table()
{
    static const std::vector<RequestEntry> table = {
        // name, synopsis, handler, walks_heap, needs_classes
        {"hello", "", hello_request, false, false},
        {"roots", "[offset=N] [limit=N]", roots_request, true, true},
        {"object", "H [offset=N] [limit=N]", object_request, false, true},
        // The VM's histogram needs no class catalog; the agent's own walk (walk=1) does.
        {"histo", "[match=TEXT] [limit=N] [walk=1]", histo_request, true, false},
        {"instances", "CLASS [subclasses=1] [offset=N] [limit=N] [gc=0] [contains=TEXT]", instances_request, true, true},
        {"referrers", "H [limit=N]", referrers_request, true, true},
        {"path", "H [weak=1] [depth=N]", path_request, true, true},
        // Later requests come after, so hello lists the earlier ones as it always did.
        {"objects", "H[,H...] [follow=NAME[,NAME...]] [max=N] [offset=N] [limit=N]", objects_request, false, true},
        {"class", "NAME", class_request, false, true},
        {"follow", "class|thread NAME [HOW NAME DECLARED TYPE]...", follow_request, false, true},
    };
    return table;
}

Expected<jvmtiEnv*> RequestContext::scratch()
{
    if (!scratch_) {
        Expected<TaggingEnv> made = TaggingEnv::open(agent.vm, "the walk");
        if (!made) return made.failure();
        scratch_.emplace(std::move(*made));
    }
    return scratch_->get();
}

namespace {

// The reply body of one request, or why there is none.
Expected<std::string> run(const RequestEntry& entry, Agent& agent, JNIEnv* jni, const FramedRequest& req)
{
    if (!jni) return Failure{err::JVM, "the server thread could not attach to the VM"};
    if (entry.needs_classes && !agent.classes.is_open()) return agent.classes.unavailable();
    LocalFrame frame(jni, REQUEST_LOCALS);
    if (!frame.ok()) return Failure{err::JVM, "no room for the request's local references"};
    RequestContext ctx(agent, jni, req);
    Reply reply;
    reply.status.record("ok").field(entry.name);
    Status done = entry.handler(ctx, reply);
    // Nothing the handler's JNI calls left pending outlives the request.
    jni->ExceptionClear();
    if (!done) return done.failure();
    return ok_body(reply.status, reply.records);
}

}  // namespace

std::string serve_framed(Agent& agent, JNIEnv* jni, std::string_view line)
{
    FramedRequest req;
    std::string why;
    if (!decode_request_line(line, req, why)) return error_body("-", err::FRAMING, why);
    for (const RequestEntry& entry : request_table()) {
        if (req.name != entry.name) continue;
        Expected<std::string> body = run(entry, agent, jni, req);
        // The VM's walk grows the C heap for its visit stack and the scratch tags; what
        // it has freed goes back, so a request leaves the process as large as it was.
        if (entry.walks_heap) malloc_trim(0);
        return body ? std::move(*body) : error_body(entry.name, body.failure().code, body.failure().message);
    }
    return error_body(req.name, err::UNKNOWN_REQUEST, "no request named '" + req.name + "' (hello lists them)");
}
