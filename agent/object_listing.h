// How `object` and `objects` list one object, record by record (docs/protocol.md).
#pragma once

#include <jni.h>

#include <cstdint>

#include "object_values.h"
#include "outcome.h"

struct RequestContext;
class RecordWriter;

constexpr int64_t MAX_ELEMENT_LIMIT = 100000;

// Which elements of an array are listed.
struct ElementPage {
    int64_t offset = 0;
    int64_t limit = 1000;
};

// Appends obj's records: its object record (self describes it), a String's whole text,
// its class slot, then its fields, an array's elements in page, or what a class object
// holds. Whether obj is an array.
Expected<bool> list_object(RequestContext& ctx, RecordWriter& rows, jobject obj, const ObjectSummary& self,
                           const ElementPage& page);
