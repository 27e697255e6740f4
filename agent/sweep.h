// Giving back what no client can name any more. After a "p", a client names objects
// only through the new root listing and the replies that follow it; objects listed
// before it are forgotten and their descriptors freed, as are the descriptors of
// objects that have died. Roots keep their handles.
//
// The tags go with a whole JVMTI environment: the objects kept are tagged afresh in a
// new one and the old one is disposed of. Untagging millions of objects one by one
// would need a heap walk that stops the program, and the VM's tag table never shrinks:
// after one large expansion every later heap walk and collection would still pay for
// the table it grew to.
#pragma once

#include <jni.h>

#include <cstddef>

struct Agent;

struct SweepCounts {
    size_t forgotten = 0;  // listed only before the latest "p"
    size_t dead = 0;       // kept, but their objects are gone
    size_t kept = 0;
    double ms = 0;         // the whole sweep; the program runs on meanwhile
};

// True when enough descriptors may have become forgettable or dead since the last
// sweep for one to pay: the registry has more than doubled.
bool sweep_due(const Agent& agent);

// Runs after a "p" has listed the roots. False when the VM gives no new environment
// (nothing is freed then).
bool sweep_descriptors(Agent& agent, JNIEnv* jni, SweepCounts& counts);
