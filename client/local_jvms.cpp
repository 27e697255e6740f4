#include "local_jvms.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>

namespace {

constexpr const char* kPerfDirPrefix = "hsperfdata_";
constexpr const char* kDisableFlag = "-XX:+DisableAttachMechanism";
constexpr const char* kEnableFlag = "-XX:-DisableAttachMechanism";
// Between the process's start and the VM's creation: the launcher's own work, and the
// start time's resolution of one clock tick.
constexpr long long kStartSlackMs = 10000;

using Dir = std::unique_ptr<DIR, int (*)(DIR*)>;

bool allDigits(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::vector<std::string> perfDirectories(const std::string& tmp)
{
    std::vector<std::string> dirs;
    Dir dir(::opendir(tmp.c_str()), ::closedir);
    if (!dir)
        return dirs;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strncmp(entry->d_name, kPerfDirPrefix, std::strlen(kPerfDirPrefix)) == 0)
            dirs.push_back(tmp + "/" + entry->d_name);
    }
    return dirs;
}

// The performance data file of a process in its /tmp, or "" when it has none.
std::string perfDataFile(const std::string& tmp, long namespacePid)
{
    for (const std::string& dir : perfDirectories(tmp)) {
        const std::string path = dir + "/" + std::to_string(namespacePid);
        if (::access(path.c_str(), F_OK) == 0)
            return path;
    }
    return {};
}

// Seconds since the epoch at which the machine booted (/proc/stat's btime); 0 unknown.
long long bootTime()
{
    const auto stat = readSmallFile("/proc/stat");
    if (!stat)
        return 0;
    const size_t at = stat->find("\nbtime ");
    return at == std::string::npos ? 0 : std::atoll(stat->c_str() + at + 7);
}

// A file left by a VM killed before it could remove it may carry the pid of a process
// started since: the VM's creation time must match the process's start.
bool sameStart(const PerfData& perf, const ProcessInfo& process)
{
    const auto created = perf.longs.find("sun.rt.createVmBeginTime");
    const long long boot = bootTime();
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (created == perf.longs.end() || boot == 0 || ticksPerSecond <= 0)
        return true;
    const long long startedMs = boot * 1000 + static_cast<long long>(process.startTicks) * 1000 / ticksPerSecond;
    return std::llabs(created->second - startedMs) < kStartSlackMs;
}

// The words a VM takes its options from, in the order it reads them: the environment's
// JAVA_TOOL_OPTIONS and JDK_JAVA_OPTIONS, its command line, then _JAVA_OPTIONS.
std::vector<std::string> vmOptionWords(const ProcessInfo& process)
{
    std::map<std::string, std::vector<std::string>> fromEnvironment;
    if (const auto environ = readSmallFile("/proc/" + std::to_string(process.pid) + "/environ")) {
        size_t start = 0;
        while (start < environ->size()) {
            const size_t end = std::min(environ->find('\0', start), environ->size());
            const std::string entry = environ->substr(start, end - start);
            const size_t equals = entry.find('=');
            if (equals != std::string::npos) {
                std::istringstream words(entry.substr(equals + 1));
                for (std::string word; words >> word;)
                    fromEnvironment[entry.substr(0, equals)].push_back(word);
            }
            start = end + 1;
        }
    }
    std::vector<std::string> words;
    for (const char* name : {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS"})
        words.insert(words.end(), fromEnvironment[name].begin(), fromEnvironment[name].end());
    words.insert(words.end(), process.commandLine.begin(), process.commandLine.end());
    words.insert(words.end(), fromEnvironment["_JAVA_OPTIONS"].begin(), fromEnvironment["_JAVA_OPTIONS"].end());
    return words;
}

LocalJvm describe(const ProcessInfo& process, const std::string& perfFile)
{
    LocalJvm jvm;
    jvm.process = process;
    jvm.user = userName(process.uid);
    jvm.ours = process.uid == ::geteuid();
    if (!jvm.ours)
        return jvm;
    std::optional<PerfData> perf;
    if (!perfFile.empty())
        if (const auto bytes = readSmallFile(perfFile))
            perf = parsePerfData(*bytes);
    if (perf && !sameStart(*perf, process))
        perf.reset();
    if (perf) {
        jvm.perfDataRead = true;
        jvm.mainClass = mainOfJavaCommand(perf->text("sun.rt.javaCommand"));
        jvm.vmName = perf->text("java.property.java.vm.name");
        jvm.vmVersion = perf->text("java.property.java.vm.version");
    }
    jvm.attachDisabled = attachMechanismDisabled(perf ? &*perf : nullptr, vmOptionWords(process));
    jvm.agent = readPortFile(process);
    return jvm;
}

}  // namespace

std::string mainOfJavaCommand(const std::string& javaCommand)
{
    const size_t start = javaCommand.find_first_not_of(' ');
    if (start == std::string::npos)
        return {};
    return javaCommand.substr(start, javaCommand.find(' ', start) - start);
}

bool attachMechanismDisabled(const PerfData* perfData, const std::vector<std::string>& optionWords)
{
    if (perfData) {
        const std::string capabilities = perfData->text("sun.rt.jvmCapabilities");
        if (!capabilities.empty())
            return capabilities[0] == '0';
    }
    bool disabled = false;
    for (const std::string& word : optionWords) {
        if (word == kDisableFlag)
            disabled = true;
        else if (word == kEnableFlag)
            disabled = false;
    }
    return disabled;
}

std::optional<PerfData> readVmPerfData(long pid)
{
    const auto process = readProcess(pid);
    if (!process || process->uid != ::geteuid())
        return std::nullopt;
    const std::string file = perfDataFile(vmTempDirectory(pid), process->namespacePid);
    const auto bytes = file.empty() ? std::nullopt : readSmallFile(file);
    auto perf = bytes ? parsePerfData(*bytes) : std::nullopt;
    if (perf && !sameStart(*perf, *process))
        perf.reset();
    return perf;
}

std::optional<LocalJvm> describeLocalJvm(long pid)
{
    const auto process = readProcess(pid);
    if (!process)
        return std::nullopt;
    return describe(*process, perfDataFile(vmTempDirectory(pid), process->namespacePid));
}

std::vector<LocalJvm> listLocalJvms()
{
    // One scan of our own /tmp serves every VM in our mount namespace; a VM in another
    // (a container) is looked for in its own /tmp through /proc.
    std::map<long, std::string> hostFiles;
    for (const std::string& dir : perfDirectories("/tmp")) {
        Dir entries(::opendir(dir.c_str()), ::closedir);
        if (!entries)
            continue;
        while (const dirent* entry = ::readdir(entries.get()))
            if (allDigits(entry->d_name))
                hostFiles[std::atol(entry->d_name)] = dir + "/" + entry->d_name;
    }
    char ownMounts[256] = {};
    const ssize_t ownLength = ::readlink("/proc/self/ns/mnt", ownMounts, sizeof ownMounts - 1);

    std::vector<LocalJvm> jvms;
    Dir proc(::opendir("/proc"), ::closedir);
    if (!proc)
        return jvms;
    while (const dirent* entry = ::readdir(proc.get())) {
        if (!allDigits(entry->d_name))
            continue;
        const long pid = std::atol(entry->d_name);
        const auto process = readProcess(pid);
        if (!process)
            continue;
        char mounts[256] = {};
        const std::string nsLink = "/proc/" + std::to_string(pid) + "/ns/mnt";
        const ssize_t length = ::readlink(nsLink.c_str(), mounts, sizeof mounts - 1);
        const bool sameMounts = length < 0 || ownLength < 0 || std::strcmp(mounts, ownMounts) == 0;
        std::string perfFile;
        if (sameMounts) {
            const auto found = hostFiles.find(process->namespacePid);
            if (found != hostFiles.end())
                perfFile = found->second;
        } else {
            perfFile = perfDataFile(vmTempDirectory(pid), process->namespacePid);
        }
        if (perfFile.empty())
            continue;
        LocalJvm jvm = describe(*process, perfFile);
        if (!jvm.ours || jvm.perfDataRead)
            jvms.push_back(std::move(jvm));
    }
    std::sort(jvms.begin(), jvms.end(),
              [](const LocalJvm& a, const LocalJvm& b) { return a.process.pid < b.process.pid; });
    return jvms;
}
