// The objects a walk has read, read in batches: a walk asks for one object at a time,
// and a miss brings it together with every object wanted so far and the chains the
// walk follows, so a page of a thousand nodes costs a few round trips.
#pragma once

#include <deque>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "object_source.h"

class ObjectCache {
public:
    explicit ObjectCache(ObjectSource& source) : source_(source) {}

    // The object, read if not held; throws SourceFailed, or LayoutMismatch when it is gone.
    const ObjectView& get(const std::string& handle);
    // Read with the next miss.
    void want(const std::string& handle);
    // Reads from now on also bring what these fields refer to, up to `max` objects a read.
    void follow(std::vector<std::string> fields, long long max);
    // Elements [offset, offset + limit) of an array; throws as get does.
    ObjectView elements(const std::string& array, long long offset, long long limit);
    // Forgets every object held (a page's worth), keeping the follow settings.
    void clear();

    ObjectSource& source() { return source_; }
    long long reads() const { return reads_; }

private:
    std::vector<ObjectView> readBatch(ObjectBatch batch);

    ObjectSource& source_;
    std::unordered_map<std::string, ObjectView> held_;
    std::deque<std::string> wanted_;
    std::unordered_set<std::string> wantedSet_;
    std::vector<std::string> follow_;
    long long followMax_ = 0;
    long long reads_ = 0;
};
