// Whether a process is a VM whose heap can be captured live, checked before anything is
// made or sent, so each reason it cannot is one sentence at once: no such process,
// another user's (a VM's attach mechanism serves only its own user, and so does this),
// stopped, attach turned off, not HotSpot, or a Java release whose heap dumper cannot
// write into an existing pipe (GC.heap_dump -overwrite came with 17.0.1).
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct JavaVersion {
    int feature = 0, interim = 0, update = 0;
    std::string text;  // as the VM gave it: "17.0.15"
};

// "17.0.15", "25", "21.0.2-ea", "1.8.0_292" (feature 8); nullopt when it is none of these.
std::optional<JavaVersion> parseJavaVersion(std::string_view text);
// The "JDK 17.0.15" line of the VM.version command's output.
std::optional<JavaVersion> javaVersionOfVmVersion(std::string_view output);
// GC.heap_dump takes -overwrite (and so writes into a pipe) from 17.0.1 on.
bool dumpsIntoPipes(const JavaVersion& version);

struct CaptureTarget {
    long pid = 0;
    std::string name;  // "4242 (SessionHeap)", for messages
    JavaVersion version;
    bool perfData = false;  // its performance data is readable: the pause can be measured
};

// Throws CaptureError (notPossible) saying why process pid cannot be captured.
CaptureTarget checkCaptureTarget(long pid);
