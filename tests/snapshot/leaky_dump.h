// A small heap dump written by hand of a program that leaks, whose answers the query
// tests know:
//
//   class LeakyCache (its loader's classes[0]): static SESSIONS -> HashMap map,
//       static GUEST -> String guest, static COUNT = the sessions (int)
//   map.table -> HashMap$Node[32] table: node i at [i + 1], but the last node, which is the
//       next of the one before it
//   node i: key -> String key_i ("s0", "s1"...), value -> LeakyCache$Session session_i
//   session i: id -> key_i, data -> byte[100 * (i + 1)], owner -> guest (shared: the map
//       does not retain it alone)
//   thread "main" (its name a String), whose frame 0 in LeakyCache.main holds Object[3]
//       locals = {App$Sub sub (y = 0x123456789, x = -7), App$Base base (x = 42), <absent>}
//   a JNI global holds WeakReference weak, whose referent is byte[50] weakly (nothing else)
//   byte[10] garbage, referred to by nothing
//   locals[2] and the table's [0] name an identifier that is no object (dropped)
//   LeakyCache, LeakyCache$Session, App$Base and App$Sub come from an application class
//   loader whose classes (an Object[]) holds them, itself held by the static APP_LOADER of
//   its class; the JDK's classes are system classes.
//
// Objects lie back to back as a VM with compressed oops and class pointers places them.
#pragma once

#include <cstdint>
#include <vector>

struct LeakyDump {
    std::vector<uint8_t> bytes;
    uint64_t map, table, guest, thread, locals, sub, base, weak, weakly, garbage, absent;
    std::vector<uint64_t> nodes, keys, keyBytes, sessions, data;
    uint64_t leakyClass, sessionClass, baseClass, subClass;
};

// program: the main class's name ("LeakyCache"); its statics, sessions and frame go by it,
// so two dumps can be of different programs. sessions: how many, 2 to 31. Without
// threadNamed, the thread's name field names an identifier the dump leaves out, as when
// the name's String is too far from the thread for one pass to read it.
LeakyDump leakyDump(const char* program = "LeakyCache", unsigned sessions = 20, bool threadNamed = true);
