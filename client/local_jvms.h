// The Java VMs on this machine, found as jcmd finds them: by their performance data
// files (<VM's /tmp>/hsperfdata_<user>/<pid>), with what those say (main class or jar,
// VM version, whether the attach mechanism is on) and whether a Vorlan agent listens in
// them (its port file). A VM started with -XX:-UsePerfData has no such file and is not
// listed, as jcmd lists it not.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "agent_port_file.h"
#include "perf_data.h"
#include "process_info.h"

struct LocalJvm {
    ProcessInfo process;
    std::string user;
    bool ours = false;         // runs as our effective user; only then is it read further
    bool perfDataRead = false;
    std::string mainClass;     // the main class, or the jar it was started with
    std::string vmName;
    std::string vmVersion;
    bool attachDisabled = false;  // -XX:+DisableAttachMechanism
    PortFileLookup agent;         // found: a Vorlan agent listens on agent.port
};

// Every VM with a performance data file, by pid. Other users' VMs are listed with their
// user and nothing more, since their files are not ours to read.
std::vector<LocalJvm> listLocalJvms();

// One process described the same way; perfDataRead stays false for a process that is no
// HotSpot VM (or one without performance data). Nullopt when there is no such process.
std::optional<LocalJvm> describeLocalJvm(long pid);

// The performance data of process pid as it is now (counters move while the VM runs);
// nullopt when it has none that is its own: not a HotSpot VM, -XX:-UsePerfData, another
// user's, or a file left by an earlier process of that pid.
std::optional<PerfData> readVmPerfData(long pid);

// The main class or jar of a sun.rt.javaCommand text ("app.jar --verbose" gives
// "app.jar").
std::string mainOfJavaCommand(const std::string& javaCommand);

// Whether the VM's own words turn the attach mechanism off: the capabilities string of
// its performance data (first character '0'), else the last -XX:±DisableAttachMechanism
// among the words it takes options from (its command line, and the environment's
// JAVA_TOOL_OPTIONS, JDK_JAVA_OPTIONS, _JAVA_OPTIONS).
bool attachMechanismDisabled(const PerfData* perfData, const std::vector<std::string>& optionWords);
