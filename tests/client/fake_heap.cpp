#include "fake_heap.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <set>

std::string FakeHeap::object(const std::string& type, const std::string& preview)
{
    char handle[16];
    std::snprintf(handle, sizeof handle, "%x", next_++);
    objects_[handle].ref = {handle, type, 24, preview};
    return handle;
}

std::string FakeHeap::array(const std::string& type, std::vector<std::string> elements)
{
    const std::string h = object(type, "[" + std::to_string(elements.size()) + "]");
    objects_[h].isArray = true;
    objects_[h].elements = std::move(elements);
    return h;
}

ObjectRef FakeHeap::refOf(const std::string& h) const
{
    const auto it = objects_.find(h);
    return it == objects_.end() ? ObjectRef{} : it->second.ref;
}

void FakeHeap::ref(const std::string& h, const char* declared, const char* name, const std::string& target,
                   const char* declType)
{
    removeField(h, name);
    objects_[h].slots.push_back({"field", name, declared, declType, target.empty() ? "null" : "", refOf(target)});
}

void FakeHeap::number(const std::string& h, const char* declared, const char* name, long long value,
                      const char* declType)
{
    removeField(h, name);
    objects_[h].slots.push_back({"field", name, declared, declType, std::to_string(value), {}});
}

void FakeHeap::flag(const std::string& h, const char* declared, const char* name, bool value)
{
    removeField(h, name);
    objects_[h].slots.push_back({"field", name, declared, "boolean", value ? "true" : "false", {}});
}

void FakeHeap::staticValue(const std::string& className, const char* name, const char* declType,
                           const std::string& value)
{
    if (!classes_.count(className))
        classes_[className] = object("java.lang.Class", "class " + className);
    objects_[classes_[className]].slots.push_back({"static", name, className, declType, value, {}});
}

void FakeHeap::staticRef(const std::string& className, const char* name, const std::string& target)
{
    staticValue(className, name, "java.lang.Object", "");
    objects_[classes_[className]].slots.back().target = refOf(target);
}

void FakeHeap::setElement(const std::string& array, size_t index, const std::string& target)
{
    std::vector<std::string>& elements = objects_[array].elements;
    if (index < elements.size())
        elements[index] = target;
}

void FakeHeap::removeField(const std::string& h, const char* name)
{
    auto& slots = objects_[h].slots;
    slots.erase(std::remove_if(slots.begin(), slots.end(), [&](const Slot& s) { return s.name == name; }),
                slots.end());
}

ObjectView FakeHeap::view(const Obj& o, long long offset, long long limit) const
{
    ObjectView v;
    v.object = o.ref;
    v.contents = o.slots;
    if (o.isArray) {
        v.length = static_cast<long long>(o.elements.size());
        const long long end = std::min<long long>(v.length, offset + limit);
        for (long long i = offset; i < end; ++i) {
            const std::string& e = o.elements[static_cast<size_t>(i)];
            v.contents.push_back({"element", std::to_string(i), "", "java.lang.Object", e.empty() ? "null" : "",
                                  refOf(e)});
        }
    }
    return v;
}

Result<std::vector<ObjectView>> FakeHeap::read(const ObjectBatch& batch)
{
    ++reads;
    Result<std::vector<ObjectView>> result;
    if (failing) {
        result.error = {Failure::closed, {}, "the agent went away"};
        return result;
    }
    std::deque<std::string> queue(batch.handles.begin(), batch.handles.end());
    std::set<std::string> listed;
    const long long named = static_cast<long long>(batch.handles.size());
    while (!queue.empty()) {
        const std::string h = queue.front();
        queue.pop_front();
        const auto it = objects_.find(h);
        if (it == objects_.end() || !listed.insert(h).second)
            continue;
        if (static_cast<long long>(listed.size()) > std::max(batch.max, named))
            break;
        result.value.push_back(view(it->second, batch.offset, batch.limit));
        for (const Slot& s : it->second.slots)
            for (const std::string& f : batch.follow)
                if (s.how == "field" && s.name == f && s.refersToObject())
                    queue.push_back(s.target.handle);
    }
    return result;
}

Result<std::string> FakeHeap::classObject(const std::string& className)
{
    Result<std::string> result;
    const auto it = classes_.find(className);
    if (it != classes_.end())
        result.value = it->second;
    return result;
}
