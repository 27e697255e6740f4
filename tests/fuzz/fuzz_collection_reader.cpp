// The collection readers over a heap made from arbitrary bytes: objects of the JDK's
// collection and node classes with any fields, of any type, pointing anywhere (cycles,
// wrong classes, lying sizes). Whatever they hold, the reader ends, never crashes, and
// a page it reads as entries is a consistent one.
#include <cstdint>
#include <string>
#include <vector>

#include "collection_reader.h"
#include "fake_heap.h"

namespace {

const char* const kTypes[] = {
    "java.util.HashMap", "java.util.HashMap$Node", "java.util.HashMap$TreeNode", "java.util.LinkedHashMap",
    "java.util.LinkedHashMap$Entry", "java.util.TreeMap", "java.util.TreeMap$Entry", "java.util.ArrayList",
    "java.util.ArrayDeque", "java.util.LinkedList", "java.util.LinkedList$Node", "java.util.Hashtable",
    "java.util.Hashtable$Entry", "java.util.concurrent.ConcurrentHashMap",
    "java.util.concurrent.ConcurrentHashMap$Node", "java.util.concurrent.ConcurrentHashMap$TreeBin",
    "java.util.concurrent.ConcurrentHashMap$ForwardingNode", "java.util.HashSet",
    "java.util.Collections$UnmodifiableMap", "java.util.IdentityHashMap", "java.util.ImmutableCollections$SetN",
    "java.util.ImmutableCollections$MapN", "java.lang.String", "[Ljava.lang.Object;",
};

struct Field {
    const char* declared;
    const char* name;
};
const Field kFields[] = {
    {"java.util.HashMap", "table"}, {"java.util.HashMap", "size"}, {"java.util.HashMap$Node", "hash"},
    {"java.util.HashMap$Node", "key"}, {"java.util.HashMap$Node", "value"}, {"java.util.HashMap$Node", "next"},
    {"java.util.LinkedHashMap", "head"}, {"java.util.LinkedHashMap$Entry", "after"},
    {"java.util.TreeMap", "root"}, {"java.util.TreeMap", "size"}, {"java.util.TreeMap$Entry", "key"},
    {"java.util.TreeMap$Entry", "left"}, {"java.util.TreeMap$Entry", "right"}, {"java.util.TreeMap$Entry", "parent"},
    {"java.util.ArrayList", "elementData"}, {"java.util.ArrayList", "size"}, {"java.util.ArrayDeque", "elements"},
    {"java.util.ArrayDeque", "head"}, {"java.util.ArrayDeque", "tail"}, {"java.util.LinkedList", "first"},
    {"java.util.LinkedList", "size"}, {"java.util.LinkedList$Node", "item"}, {"java.util.LinkedList$Node", "next"},
    {"java.util.Hashtable", "table"}, {"java.util.Hashtable", "count"}, {"java.util.Hashtable$Entry", "hash"},
    {"java.util.Hashtable$Entry", "next"}, {"java.util.concurrent.ConcurrentHashMap", "table"},
    {"java.util.concurrent.ConcurrentHashMap", "baseCount"}, {"java.util.concurrent.ConcurrentHashMap$Node", "hash"},
    {"java.util.concurrent.ConcurrentHashMap$Node", "next"}, {"java.util.concurrent.ConcurrentHashMap$TreeBin", "first"},
    {"java.util.concurrent.ConcurrentHashMap$ForwardingNode", "nextTable"}, {"java.util.HashSet", "map"},
    {"java.util.Collections$UnmodifiableMap", "m"}, {"java.util.IdentityHashMap", "table"},
    {"java.util.IdentityHashMap", "size"}, {"java.util.ImmutableCollections$SetN", "elements"},
    {"java.util.ImmutableCollections$SetN", "size"},
};

struct Bytes {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t next() { return at < size ? data[at++] : 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Bytes in{data, size};
    FakeHeap heap;
    const size_t count = 1 + in.next() % 24;
    std::vector<std::string> handles;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t t = in.next() % (sizeof kTypes / sizeof *kTypes);
        if (kTypes[t][0] == '[')
            handles.push_back(heap.array(kTypes[t], std::vector<std::string>(in.next() % 9)));
        else
            handles.push_back(heap.object(kTypes[t], t == 22 ? "\"s\"" : ""));
    }
    heap.staticValue("java.util.ImmutableCollections", "SALT32L", "long", std::to_string(in.next() * 0x1010101u));
    heap.staticValue("java.util.ImmutableCollections", "REVERSE", "boolean", in.next() & 1 ? "true" : "false");
    heap.staticRef("java.util.ImmutableCollections", "EMPTY", handles[in.next() % count]);
    // Then fields: object, field, and a reference or a number.
    while (in.at + 3 <= in.size) {
        const std::string& h = handles[in.next() % count];
        const Field& f = kFields[in.next() % (sizeof kFields / sizeof *kFields)];
        const uint8_t v = in.next();
        if (v & 0x80)
            heap.number(h, f.declared, f.name, static_cast<int8_t>(v << 1) / 2);
        else
            heap.ref(h, f.declared, f.name, v % 16 == 15 ? std::string() : handles[v % count]);
        if (v == 0x7E && in.at < in.size)  // now and then an array slot
            heap.setElement(handles[in.next() % count], 0, h);
    }

    CollectionReader reader(heap, handles[0]);
    long long position = 0;
    for (long long offset : {0LL, 3LL, 1LL, 0LL}) {
        Result<CollectionPage> page = reader.page(offset, 4);
        if (!page.ok() || !page.value.read)
            continue;
        if (page.value.entries.size() > 4)
            __builtin_trap();
        position = offset;
        for (const CollectionEntry& e : page.value.entries)
            if (e.position != position++)
                __builtin_trap();
    }
    return 0;
}
