// Giving back what no client can name any more. After a "p", a client names objects
// only through the new root listing and the replies that follow it; objects listed
// before it are forgotten: their tags are taken off (every tag the VM holds costs time
// in every heap walk and in every collection) and their descriptors freed, as are the
// descriptors of objects that have died. Roots keep their handles.
#pragma once

#include <jni.h>

#include <cstddef>

struct Agent;

struct SweepCounts {
    size_t forgotten = 0;  // listed only before the latest "p"
    size_t dead = 0;       // their objects are gone
    size_t kept = 0;
    double ms = 0;         // the heap iteration, during which the program is stopped
};

// True when enough descriptors may have become forgettable or dead since the last
// sweep for one to pay: the registry has more than doubled.
bool sweep_due(const Agent& agent);

// Runs after a "p" has listed the roots. False when the VM refuses the heap iteration
// (nothing is freed then).
bool sweep_descriptors(Agent& agent, JNIEnv* jni, SweepCounts& counts);
