#include "injected_fields.h"

#include "hprof_format.h"

using namespace hprof;

namespace {

struct Injected {
    const char* className;
    int fromFeature;  // first release with these fields
    int toFeature;    // last release with them
    std::vector<uint8_t> types;
};

// intptr_t fields are longs on a 64-bit VM.
const std::vector<Injected>& table()
{
    static const std::vector<Injected> entries = {
        {"java/lang/String", 17, 99, {kByte}},
        {"java/lang/Class", 17, 18, {kLong, kLong, kInt, kInt, kObject, kObject, kObject}},
        {"java/lang/Class", 19, 99, {kLong, kLong, kInt, kInt, kObject, kObject}},
        {"java/lang/ClassLoader", 17, 99, {kLong}},
        {"java/lang/invoke/ResolvedMethodName", 17, 18, {kObject, kLong}},
        {"java/lang/invoke/ResolvedMethodName", 19, 99, {kLong}},
        {"java/lang/invoke/MemberName", 17, 99, {kLong}},
        {"java/lang/invoke/MethodHandleNatives$CallSiteContext", 17, 24, {kLong, kLong}},
        {"java/lang/invoke/CallSite", 25, 99, {kLong, kLong}},
        {"java/lang/StackFrameInfo", 17, 99, {kShort}},
        {"java/lang/Module", 17, 99, {kLong}},
        {"java/lang/Thread", 19, 99, {kLong, kInt, kBoolean, kShort}},
        {"java/lang/VirtualThread", 24, 99, {kLong}},
        {"java/lang/InternalError", 17, 99, {kBoolean}},
        {"jdk/internal/vm/StackChunk", 19, 99, {kObject, kByte, kLong, kInt}},
    };
    return entries;
}

}  // namespace

std::vector<uint8_t> injectedFieldTypes(std::string_view internalName, int javaFeature)
{
    const int feature = javaFeature > 0 ? javaFeature : 17;
    for (const Injected& entry : table()) {
        if (internalName == entry.className && feature >= entry.fromFeature && feature <= entry.toFeature)
            return entry.types;
    }
    return {};
}
