// instances CLASS contains=TEXT: the instances of the classes tagged in the scratch
// environment that hold TEXT (text_match.h), paged in heap order.
#pragma once

#include <jvmti.h>

#include <cstdint>
#include <string>

#include "outcome.h"

struct RequestContext;
struct Reply;

struct InstancesSearch {
    std::string text;
    int64_t offset = 0;
    int64_t limit = 0;
    int64_t classes = 0;  // how many loaded classes were tagged
    double gc_ms = 0;
};

// The search and its reply: every instance is tagged and read once, the matches are
// numbered by a second walk in heap order, and the page of them is listed.
Status search_instances(RequestContext& ctx, Reply& reply, jvmtiEnv* env, const InstancesSearch& search);
