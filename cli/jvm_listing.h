// vorlan-cli's listing of the local Java VMs, as text and as JSON.
#pragma once

#include <string>
#include <vector>

#include "local_jvms.h"

// One line per VM under a title line: pid, main class or jar, VM version, and where its
// Vorlan agent listens ("-" for none, or why none can be loaded). A line saying so when
// there is none.
std::string jvmListText(const std::vector<LocalJvm>& jvms);

// {"jvms": [{"pid", "main", "vm", "version", "user", "attachable", "agent_port"}...]}, the
// port null when no agent listens.
std::string jvmListJson(const std::vector<LocalJvm>& jvms);
