#include "walk_callbacks.h"

#include "agent_state.h"
#include "object_details.h"

namespace {

// Adds one instance report to a class descriptor's count and size, wrapping at 32 bits.
void count_instance(ObjectDetails* c, jlong size)
{
    c->count = static_cast<int32_t>(static_cast<uint32_t>(c->count) + 1u);
    c->size = static_cast<int32_t>(static_cast<uint32_t>(c->size) + static_cast<uint32_t>(size));
}

enum class Report { Root, Reference };

// Finds or makes the descriptor of the object behind tag_ptr, recording the report's kind.
ObjectDetails* bind_descriptor(Agent& agent, Report report, int kind, jlong class_tag, ObjectDetails* c,
                               jlong* tag_ptr)
{
    DescriptorRegistry& reg = agent.descriptors;
    ObjectDetails* od = nullptr;
    if (*tag_ptr != 0 && *tag_ptr != class_tag) od = reg.descriptor_of(handle_of(*tag_ptr));
    if (*tag_ptr == class_tag) {
        od = c;
    } else if (!od) {
        // Untagged, or tagged by a table that is gone: a new object descriptor.
        od = reg.new_object_descriptor();
        if (!od) return nullptr;
        od->signature = c->signature;
        *tag_ptr = make_tag(od->handle);
        if (report == Report::Root) trace("h3:tag_ptr=%x\n", addr32(tag_ptr));
        else trace("o3:*tag_ptr=%llx\n", static_cast<unsigned long long>(*tag_ptr));
    } else {
        if (report == Report::Reference) {
            trace("o3:*tag_ptr != class_tag\n");
            trace("o3:od = %x\n", handle_text_of(od));
        }
        if (!reg.is_class_descriptor(od)) od->signature = c->signature;
    }
    if (report == Report::Root) od->root_kind = static_cast<int8_t>(kind);
    else od->ref_kind = static_cast<int8_t>(kind);
    od->seq = agent.snapshot.visit_counter++;
    return od;
}

}  // namespace

jvmtiIterationControl JNICALL heap_root_callback(jvmtiHeapRootKind root_kind, jlong class_tag, jlong size,
                                                 jlong* tag_ptr, void* user_data)
{
    trace("heap_root_callback\n");
    if (class_tag == 0) return JVMTI_ITERATION_CONTINUE;
    Agent& agent = *static_cast<WalkContext*>(user_data)->agent;
    ObjectDetails* c = agent.descriptors.descriptor_of(handle_of(class_tag));
    if (!c) return JVMTI_ITERATION_CONTINUE;  // a class outside the table
    trace("h1:class_tag=%llx\n", static_cast<unsigned long long>(class_tag));
    trace("h1:d=%x\n", c->handle);
    count_instance(c, size);
    trace("h1:d->signature=%s\n", c->signature);
    trace("h2:*tag_ptr=%llx\n", static_cast<unsigned long long>(*tag_ptr));

    ObjectDetails* od = bind_descriptor(agent, Report::Root, root_kind, class_tag, c, tag_ptr);
    if (!od) return JVMTI_ITERATION_CONTINUE;
    trace("ho:od->signature=%s\n", od->signature);
    trace("0:od=%x\n", od->handle);
    root_list_append(agent.snapshot.roots, od);
    return JVMTI_ITERATION_CONTINUE;
}

jvmtiIterationControl JNICALL object_ref_callback(jvmtiObjectReferenceKind reference_kind, jlong class_tag,
                                                  jlong size, jlong* tag_ptr, jlong referrer_tag, jint referrer_index,
                                                  void* user_data)
{
    trace("object_ref_callback: class_tag=%llx\n", static_cast<unsigned long long>(class_tag));
    auto* ctx = static_cast<WalkContext*>(user_data);
    Agent& agent = *ctx->agent;
    ObjectDetails* start = ctx->start;
    ObjectDetails* c = class_tag != 0 ? agent.descriptors.descriptor_of(handle_of(class_tag)) : nullptr;
    if (c && start && handle_of(referrer_tag) == start->handle) {
        trace("o0:class_tag=%llx\n", static_cast<unsigned long long>(class_tag));
        count_instance(c, size);
        trace("o2:*tag_ptr=%llx\n", static_cast<unsigned long long>(*tag_ptr));
        ObjectDetails* od = bind_descriptor(agent, Report::Reference, reference_kind, class_tag, c, tag_ptr);
        if (od) {
            // Where to read it back from, so that finding it needs no tag search.
            od->parent = start->handle;
            od->parent_kind = static_cast<uint8_t>(reference_kind);
            od->parent_index = referrer_index;
            trace("o5:od->signature = %s\n", od->signature);
            trace("o6:referrer_tag = %llx\n", static_cast<unsigned long long>(referrer_tag));
            trace("o6:add_list\n");
            if (tracing()) {
                add_list(&list_of(start), od, 1);
            } else if (od->listed_walk != agent.snapshot.reference_walk) {
                // A million-entry list would otherwise pay a hash lookup and insert per entry.
                od->listed_walk = agent.snapshot.reference_walk;
                agent.snapshot.walk_entries.push_back(od);
            }
        }
    }
    trace_flush();
    return JVMTI_ITERATION_CONTINUE;
}
