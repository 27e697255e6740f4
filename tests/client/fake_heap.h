// A small heap built by hand, served as an ObjectSource: objects with fields declared by
// a class, arrays of references, class objects with statics. It counts its reads, and
// can be told to fail them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "object_source.h"

class FakeHeap : public ObjectSource {
public:
    // A new object of that type; its handle.
    std::string object(const std::string& type, const std::string& preview = {});
    // A new array of references (empty handles are nulls).
    std::string array(const std::string& type, std::vector<std::string> elements);
    // A String with its text as preview.
    std::string string(const std::string& text) { return object("java.lang.String", "\"" + text + "\""); }

    void ref(const std::string& h, const char* declared, const char* name, const std::string& target,
             const char* declType = "java.lang.Object");
    void number(const std::string& h, const char* declared, const char* name, long long value,
                const char* declType = "int");
    void flag(const std::string& h, const char* declared, const char* name, bool value);
    // A static of the class named className, whose class object is made on first use.
    void staticValue(const std::string& className, const char* name, const char* declType, const std::string& value);
    void staticRef(const std::string& className, const char* name, const std::string& target);
    // Element index of an array; nothing when it has no such element.
    void setElement(const std::string& array, size_t index, const std::string& target);
    void removeField(const std::string& h, const char* name);
    void retype(const std::string& h, const std::string& type) { objects_[h].ref.type = type; }

    Result<std::vector<ObjectView>> read(const ObjectBatch& batch) override;
    Result<std::string> classObject(const std::string& className) override;

    int reads = 0;
    bool failing = false;

private:
    struct Obj {
        ObjectRef ref;
        std::vector<Slot> slots;
        bool isArray = false;
        std::vector<std::string> elements;
    };
    ObjectRef refOf(const std::string& h) const;
    ObjectView view(const Obj& o, long long offset, long long limit) const;

    std::map<std::string, Obj> objects_;
    std::map<std::string, std::string> classes_;
    int next_ = 1;
};
