// A small heap dump written by hand whose graph the reader's tests know exactly:
//
//   App$Node n1 -next-> n2 -next-> n3, n1.label = String "first" (its bytes after it)
//   Object[4] array = {n1, null, n3, <an identifier that is no object>}  (JNI global)
//   WeakReference weak -referent-> n3
//   Thread t1 "worker" (its name String after it), Thread t2 "early" (name before it)
//   t1's frame 0, App$Node.work, holds n2; class App$Node is a system class.
//
// Objects lie back to back as a VM with the given layout would place them, so the
// reader can infer that layout from their spacing.
#pragma once

#include <cstdint>
#include <vector>

#include "vm_layout.h"

struct SampleDump {
    std::vector<uint8_t> bytes;
    // Addresses of the objects the tests look for.
    uint64_t n1, n2, n3, array, weak, t1, t2, first, firstBytes, absent;
    uint64_t nodeClass;
    // Sizes the layout gives: App$Node, Object[4], WeakReference, Thread.
    uint32_t nodeBytes, arrayBytes, weakBytes, threadBytes;
};

SampleDump sampleDump(const VmLayout& layout, unsigned idSize = 8);
