// The VM's object layout settings, asked of the VM itself (VM.flags -all through its
// attach mechanism) so the reader need not infer them from the spacing of the objects.
#pragma once

#include <optional>
#include <string_view>

#include "vm_layout.h"

// From the text `jcmd PID VM.flags -all` prints; nullopt when UseCompressedOops is not
// in it. javaFeature decides how arrays' elements are aligned.
std::optional<VmLayout> layoutFromFlags(std::string_view flagsText, int javaFeature);

class CaptureCancel;

// Asks process pid; nullopt (the reader then infers the layout) when it does not answer.
// The VM's attach listener serves one command at a time, so this may wait for another
// tool's (a capture's dump): a cancel ends the wait, throwing CaptureError.
std::optional<VmLayout> askVmLayout(long pid, int javaFeature, const CaptureCancel* cancel = nullptr);
