// Objects as the collection readers see them: each object's fields by name, an array's
// elements by index, read several at a time. The live agent is one source; a heap
// snapshot can be another.
#pragma once

#include <string>
#include <vector>

#include "client_error.h"
#include "reply_views.h"

// What one read asks for.
struct ObjectBatch {
    std::vector<std::string> handles;  // listed first, in this order
    // Also the objects these fields refer to, from each object listed on, breadth first,
    // until `max` objects are listed in all: one read brings a whole chain of nodes.
    std::vector<std::string> follow;
    long long max = 0;
    long long offset = 0;    // arrays: the first element listed
    long long limit = 1000;  // arrays: how many elements
};

class ObjectSource {
public:
    virtual ~ObjectSource() = default;
    // The objects asked for (each at most once) and those followed, in any order; an
    // object that is gone is left out.
    virtual Result<std::vector<ObjectView>> read(const ObjectBatch& batch) = 0;
    // The handle of the class object named className (Java form), whose static fields
    // `read` then lists; empty when no such class is loaded or the source cannot tell.
    virtual Result<std::string> classObject(const std::string& className) = 0;
};
