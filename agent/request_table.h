// The framed requests: each is one handler in a file of its own, found by name in one
// table. Adding a request is a new file and a line in the table (and its declaration
// below).
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outcome.h"
#include "records.h"
#include "request_frame.h"
#include "tagging_env.h"

struct Agent;

// What a handler is given: the agent, the JNI environment of the server thread (attached,
// inside a local frame of the request's own), and the decoded request.
struct RequestContext {
    RequestContext(Agent& a, JNIEnv* j, const FramedRequest& r) : agent(a), jni(j), request(r) {}

    Agent& agent;
    JNIEnv* const jni;
    const FramedRequest& request;

    // The request's scratch environment for its heap walks, made on first use and
    // disposed of with the context: its tags (scratch_tags.h) are the request's alone.
    Expected<jvmtiEnv*> scratch();

private:
    std::optional<TaggingEnv> scratch_;
};

// What a handler answers: the figures of its status record, which comes opened as "ok"
// and the request's name, and the records after it.
struct Reply {
    RecordWriter status;
    RecordWriter records;
};

// A handler fills in the reply, or fails with the code and message of its error record.
using RequestHandler = Status (*)(RequestContext&, Reply&);

struct RequestEntry {
    const char* name;
    const char* synopsis;  // as hello lists it
    RequestHandler handler;
    bool walks_heap;     // its walk's scratch memory is given back to the system afterwards
    bool needs_classes;  // answered only when the class catalog could be had at load
};

const std::vector<RequestEntry>& request_table();

// Decodes one request line and runs its handler; every failure is an error reply.
std::string serve_framed(Agent& agent, JNIEnv* jni, std::string_view line);

// The handlers, one file each.
Status hello_request(RequestContext& ctx, Reply& reply);
Status roots_request(RequestContext& ctx, Reply& reply);
Status object_request(RequestContext& ctx, Reply& reply);
Status objects_request(RequestContext& ctx, Reply& reply);
Status class_request(RequestContext& ctx, Reply& reply);
Status histo_request(RequestContext& ctx, Reply& reply);
Status instances_request(RequestContext& ctx, Reply& reply);
Status referrers_request(RequestContext& ctx, Reply& reply);
Status path_request(RequestContext& ctx, Reply& reply);
Status follow_request(RequestContext& ctx, Reply& reply);
