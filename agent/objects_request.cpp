// objects H,H,...: several objects in one request, each as `object` lists it, and with
// follow= the objects their fields of those names refer to, breadth first, up to max in
// all: a page of a collection's nodes in one round trip.
#include <algorithm>
#include <climits>
#include <deque>
#include <unordered_set>
#include <vector>

#include "agent_state.h"
#include "local_frame.h"
#include "object_binding.h"
#include "object_listing.h"
#include "object_values.h"
#include "request_table.h"

namespace {

constexpr int64_t DEFAULT_MAX = 1000;
constexpr int64_t MAX_MAX = 100000;
constexpr size_t MAX_NAMED = 10000;

std::vector<std::string> split_commas(const std::string& text)
{
    std::vector<std::string> parts;
    size_t begin = 0;
    for (;;) {
        const size_t end = text.find(',', begin);
        parts.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
        if (end == std::string::npos) return parts;
        begin = end + 1;
    }
}

// Global references to the objects waiting to be listed, deleted however the request ends.
class Waiting {
public:
    explicit Waiting(JNIEnv* jni) : jni_(jni) {}
    ~Waiting()
    {
        for (jobject o : queue_) jni_->DeleteGlobalRef(o);
    }
    Waiting(const Waiting&) = delete;
    Waiting& operator=(const Waiting&) = delete;

    bool push(jobject local)
    {
        jobject global = jni_->NewGlobalRef(local);
        if (!global) return false;
        queue_.push_back(global);
        return true;
    }
    bool empty() const { return queue_.empty(); }
    size_t size() const { return queue_.size(); }
    // The next object, as a local reference of the caller's frame.
    jobject pop()
    {
        jobject global = queue_.front();
        queue_.pop_front();
        jobject local = jni_->NewLocalRef(global);
        jni_->DeleteGlobalRef(global);
        return local;
    }

private:
    JNIEnv* jni_;
    std::deque<jobject> queue_;
};

// Queues what obj's instance fields named in follow refer to.
Status queue_followed(Agent& agent, JNIEnv* jni, jobject obj, uint32_t class_id,
                      const std::vector<std::string>& follow, Waiting& waiting, size_t room)
{
    const ClassInfo& info = agent.classes.info(class_id);
    if (info.kind != ValueKind::Plain && info.kind != ValueKind::Enum) return {};
    if (Status s = agent.classes.load_fields(jni, class_id); !s) return s;
    for (const FieldEntry& f : agent.classes.info(class_id).fields) {
        if (waiting.size() >= room) return {};
        if (f.is_static || f.signature.size() == 1) continue;
        if (std::find(follow.begin(), follow.end(), f.name) == follow.end()) continue;
        jobject target = jni->GetObjectField(obj, f.id);
        if (!target) continue;
        const bool queued = waiting.push(target);
        jni->DeleteLocalRef(target);
        if (!queued) return Failure{err::JVM, "NewGlobalRef failed: the VM is out of memory"};
    }
    return {};
}

}  // namespace

Status objects_request(RequestContext& ctx, Reply& reply)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    RequestArgs args(ctx.request, 1, {"follow", "max", "offset", "limit"});
    ElementPage page;
    page.offset = args.number("offset", 0, 0, INT32_MAX);
    page.limit = args.number("limit", ElementPage{}.limit, 0, MAX_ELEMENT_LIMIT);
    int64_t max = args.number("max", DEFAULT_MAX, 1, MAX_MAX);
    std::vector<std::string> follow;
    if (std::optional<std::string> names = args.text("follow")) follow = split_commas(*names);
    if (!args.ok()) return args.failure();
    const std::vector<std::string> named = split_commas(args.positional());
    if (named.size() > MAX_NAMED)
        return Failure{err::USAGE, "at most " + std::to_string(MAX_NAMED) + " handles in one request"};
    max = std::max<int64_t>(max, static_cast<int64_t>(named.size()));

    Waiting waiting(jni);
    int64_t missing = 0;
    for (const std::string& text : named) {
        std::optional<uint32_t> handle = parse_framed_handle(text);
        if (!handle) return Failure{err::USAGE, "'" + text + "' is not a handle (hex digits)"};
        LocalFrame frame(jni, 16);
        jobject obj = object_for(agent, jni, *handle);
        if (!obj) {
            missing++;
            continue;
        }
        if (!waiting.push(obj)) return Failure{err::JVM, "NewGlobalRef failed: the VM is out of memory"};
    }

    std::unordered_set<uint32_t> listed;
    bool any_array = false;
    while (!waiting.empty() && static_cast<int64_t>(listed.size()) < max) {
        LocalFrame frame(jni, 64);
        if (!frame.ok()) return Failure{err::JVM, "no room for the local references of one object"};
        jobject obj = waiting.pop();
        if (!obj) continue;  // collected while it waited
        Expected<ObjectSummary> self = summarize(agent, jni, obj);
        if (!self) return self.failure();
        if (!listed.insert(self->handle).second) continue;
        Expected<bool> is_array = list_object(ctx, reply.records, obj, *self, page);
        if (!is_array) return is_array.failure();
        any_array = any_array || *is_array;
        const size_t room = static_cast<size_t>(max) - listed.size();
        if (!follow.empty())
            if (Status s = queue_followed(agent, jni, obj, self->class_id, follow, waiting, room); !s) return s;
    }
    reply.status.pair("listed", static_cast<int64_t>(listed.size())).pair("missing", missing);
    if (any_array) reply.status.pair("offset", page.offset).pair("limit", page.limit);
    return {};
}
