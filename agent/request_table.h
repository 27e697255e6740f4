// The framed requests: each is one handler, found by name in one table.
#pragma once

#include <jni.h>

#include <string>
#include <string_view>
#include <vector>

#include "request_frame.h"

struct Agent;

// What a handler is given: the agent, the JNI environment of the attached server
// thread, and the decoded request.
struct RequestContext {
    Agent& agent;
    JNIEnv* jni;
    const FramedRequest& request;
};

// A handler returns the whole reply body: status record first (see records.h).
using RequestHandler = std::string (*)(RequestContext&);

struct RequestEntry {
    const char* name;
    const char* synopsis;  // as hello lists it
    RequestHandler handler;
    bool walks_heap;  // its walk's scratch memory is given back to the system afterwards
};

const std::vector<RequestEntry>& request_table();

// Decodes one request line and runs its handler; every failure is an error reply.
std::string serve_framed(Agent& agent, JNIEnv* jni, std::string_view line);

// The handlers, one file each.
std::string hello_request(RequestContext& ctx);
std::string roots_request(RequestContext& ctx);
std::string object_request(RequestContext& ctx);
std::string histo_request(RequestContext& ctx);
std::string instances_request(RequestContext& ctx);
std::string referrers_request(RequestContext& ctx);
std::string path_request(RequestContext& ctx);
