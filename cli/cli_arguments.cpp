#include "cli_arguments.h"

#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

const char* const kCliUsage =
    "usage: vorlan-cli PID COMMAND [ARGUMENT] [OPTIONS]\n"
    "       vorlan-cli [--port N] [--pid PID] [--json] COMMAND [ARGUMENT] [OPTIONS]\n"
    "       vorlan-cli --hprof FILE [--json] COMMAND [ARGUMENT] [OPTIONS]\n"
    "       vorlan-cli [list] [--json]\n"
    "\n"
    "Talks to the Vorlan agent in a Java VM: the one in process PID (a first argument that\n"
    "is a number is a pid), which is loaded there first when it is not, or the one on\n"
    "127.0.0.1:N (port 12345 unless --port says otherwise). With --hprof it reads a heap\n"
    "dump instead (jcmd PID GC.heap_dump FILE, plain or gzip) and needs no VM.\n"
    "\n"
    "  list (or no command)       the Java VMs on this machine: pid, main class or jar, VM\n"
    "                             version, and the port of the Vorlan agent in it\n"
    "\n"
    "classic commands (types as JVM class names with slashes):\n"
    "  roots                      the objects the VM holds as roots, with their types\n"
    "  expand HANDLE              the objects one object refers to directly\n"
    "  tree [--depth D] [HANDLE]  the tree below the roots, or below one object, D levels\n"
    "                             deep (default 2); an object already on the path above is\n"
    "                             printed but not expanded again\n"
    "  quit                       end the Java program the agent runs in (status 0)\n"
    "\n"
    "heap commands (types as Java names, as jcmd prints them):\n"
    "  show HANDLE [--offset N] [--limit N] [--internals]\n"
    "                             one object: its type, size and every field, element or\n"
    "                             static it holds; --offset/--limit page through an array.\n"
    "                             A collection of the JDK (HashMap, ArrayList, List.of...)\n"
    "                             shows as its entries in its iterator's order, with size\n"
    "                             and capacity; --offset/--limit page through them, and\n"
    "                             --internals shows its fields instead\n"
    "  histo [--top N] [--match TEXT] [--retained]\n"
    "                             objects counted by class after a collection, largest\n"
    "                             first, like jcmd GC.class_histogram; --match keeps the\n"
    "                             classes whose name contains TEXT; --retained adds what\n"
    "                             each class's instances keep alive, largest first\n"
    "  find CLASS [--limit N] [--offset N] [--subclasses] [--contains TEXT]\n"
    "                             the live instances of a class (java.util.HashMap, int[],\n"
    "                             [I, java/util/HashMap), with subclasses if asked;\n"
    "                             --contains keeps Strings whose text contains TEXT, and\n"
    "                             objects with a String or primitive field that does\n"
    "  refs HANDLE [--limit N]    the objects and GC roots that refer to one object\n"
    "  path HANDLE [--weak] [--depth N]\n"
    "                             the shortest chain from a GC root to the object: the root\n"
    "                             by name, then one row per step (field, type, object,\n"
    "                             size); --weak lets it pass through a weak or soft\n"
    "                             reference's referent\n"
    "\n"
    "what holds the memory (a snapshot of the heap: the dump --hprof names, or one taken\n"
    "of the running VM):\n"
    "  top [--limit N]            the biggest objects by retained size (default 10), none\n"
    "                             holding another: each with its share of the heap, where\n"
    "                             its memory accumulates and its path from a GC root\n"
    "  dominators [OBJ] [--limit N] [--offset N]\n"
    "                             what an object keeps alive on its own, largest first\n"
    "                             (default 25); without OBJ the top of the dominator tree\n"
    "  suspects [--threshold PCT] the objects that retain PCT % of the heap or more\n"
    "                             (default 10), each in a sentence with its path\n"
    "  compare EARLIER            with --hprof LATER: how each class grew from the dump\n"
    "                             EARLIER to LATER (objects, shallow and retained bytes)\n"
    "\n"
    "With --hprof, show, histo, find, refs and path read the dump as well, and give each\n"
    "object's retained size beside its shallow size. Snapshot objects are named s1234\n"
    "(or by their address in the dump, 0x7f3a2c10); live handles are bare hex, 1a2b.\n"
    "Retained sizes follow strong references only: what the next collections would free.\n"
    "\n"
    "  live OBJ --hprof FILE [--pid PID | --port N]\n"
    "                             the object OBJ of the dump FILE, found again in the running\n"
    "                             VM along its path from its GC root (a class's static or a\n"
    "                             thread by name, then field by field), with each class\n"
    "                             checked: its live handle and what it holds now, or where\n"
    "                             the program no longer leads to it\n"
    "\n"
    "  dump FILE [--force] [--gz N]\n"
    "                             the VM's own heap dump (HPROF), written to FILE (mode 0600)\n"
    "                             while the VM writes it, in one pause of the program; the\n"
    "                             pause is reported. --force replaces an existing FILE;\n"
    "                             --gz N has the VM compress it (level 1-9: about 5 times\n"
    "                             smaller, a pause 1.5 to 3 times longer). Needs no agent:\n"
    "                             the VM (Java 17.0.1 or later, of your user) is asked\n"
    "                             through its attach mechanism, as jcmd asks it\n"
    "\n"
    "  --hprof FILE a heap dump to read (plain or gzip) instead of a running VM\n"
    "  --weak      with a snapshot: count what weak, soft, phantom and final references\n"
    "              refer to as retained by them, as Eclipse MAT does\n"
    "  --port N    the agent's port on 127.0.0.1\n"
    "  --pid PID   the agent in process PID, found by the port file it writes\n"
    "              (/tmp/.vorlan_pidPID), or loaded there first on a port the system\n"
    "              picks; with --port, loaded on that port when nothing listens there\n"
    "  --json      one JSON document on standard output\n"
    "  --raw       roots, expand, tree: listing lines exactly as the agent sends them\n"
    "  -h, --help  this text\n"
    "  --version   the version\n"
    "\n"
    "While a dump is read and analysed, a progress line on standard error says how far\n"
    "it is, when standard error is a terminal.\n"
    "\n"
    "Exit status: 0 on success; 1, with one line on standard error, when the agent cannot\n"
    "be reached or loaded, is too old for a heap command, or refuses the request (a handle\n"
    "that names no object, a class that is not loaded), or when a dump cannot be read (the\n"
    "line names the byte where it goes wrong); 2 for a usage error.\n";

namespace {

// The commands each option applies to; the first four apply to every command.
const std::set<std::string> kHeapDumpCommands = {"show", "histo", "find", "refs", "path",
                                                 "top", "dominators", "suspects", "compare", "live"};
const std::map<std::string, std::set<std::string>> kOptionCommands = {
    {"--raw", {"roots", "expand", "tree"}},
    {"--depth", {"tree", "path"}},
    {"--offset", {"show", "find", "dominators"}},
    {"--limit", {"show", "find", "refs", "top", "dominators", "suspects", "compare"}},
    {"--top", {"histo"}},
    {"--match", {"histo"}},
    {"--subclasses", {"find"}},
    {"--contains", {"find"}},
    {"--internals", {"show"}},
    {"--weak", {"path", "top", "dominators", "suspects", "compare", "histo", "find", "show", "refs"}},
    {"--hprof", kHeapDumpCommands},
    {"--retained", {"histo"}},
    {"--threshold", {"suspects"}},
    {"--force", {"dump"}},
    {"--gz", {"dump"}},
};
const std::set<std::string> kEveryCommand = {"--port", "--pid", "--json"};
// The listing speaks to no agent.
const std::set<std::string> kAgentOptions = {"--port", "--pid"};
const std::set<std::string> kNeedsArgument = {"expand", "show", "find", "refs", "path", "compare", "dump", "live"};
const std::set<std::string> kMayTakeArgument = {"tree", "dominators"};
const std::set<std::string> kCommands = {"list", "roots", "expand", "tree", "quit", "show", "histo", "find",
                                         "refs", "path", "top", "dominators", "suspects", "compare", "dump", "live"};
const std::set<std::string> kTakesValue = {"--port", "--pid", "--depth", "--offset", "--limit", "--top", "--match",
                                           "--contains", "--hprof", "--threshold", "--gz"};

bool isProcessId(const std::string& word)
{
    return !word.empty() && word.size() <= 10 && word.find_first_not_of("0123456789") == std::string::npos &&
           std::stoll(word) > 0;
}

bool wholeNumber(const char* text, long long min, long long max, long long& value)
{
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (!*text || *end || errno == ERANGE || v < min || v > max)
        return false;
    value = v;
    return true;
}

// Stores one option's value; a usage error text when it is no fit.
std::string apply(const std::string& option, const char* text, CliOptions& o)
{
    long long n = 0;
    const auto needs = [&](long long min, long long max, const char* what) -> std::string {
        return wholeNumber(text, min, max, n) ? std::string() : option + " needs " + what;
    };
    std::string error;
    if (option == "--match") {
        o.match = text;
    } else if (option == "--contains") {
        if (!*text)
            return option + " needs a text";
        o.contains = text;
    } else if (option == "--hprof") {
        if (!*text)
            return "--hprof needs a file";
        if (!o.hprof.empty())
            return "two dumps: " + o.hprof + " and " + text + " (compare takes the earlier one as its argument)";
        o.hprof = text;
    } else if (option == "--threshold") {
        if ((error = needs(1, 100, "a percentage from 1 to 100")).empty())
            o.threshold = static_cast<double>(n) / 100;
    } else if (option == "--port") {
        if ((error = needs(-2147483647LL, 2147483647LL, "a number")).empty())
            o.port = static_cast<int>(n), o.portGiven = true;
    } else if (option == "--pid") {
        if ((error = needs(1, 2147483647LL, "a process id")).empty()) {
            if (o.pid != 0)
                return "two process ids: " + std::to_string(o.pid) + " and " + text;
            o.pid = n;
        }
    } else if (option == "--depth") {
        if ((error = needs(1, 2147483647LL, "a number of 1 or more")).empty())
            o.depth = static_cast<int>(n), o.depthGiven = true;
    } else if (option == "--gz") {
        if ((error = needs(1, 9, "a compression level from 1 to 9")).empty())
            o.gzipLevel = static_cast<int>(n);
    } else if (option == "--offset") {
        if ((error = needs(0, 1LL << 40, "a number of 0 or more")).empty())
            o.offset = n;
    } else if ((error = needs(1, 1LL << 40, "a number of 1 or more")).empty()) {  // --limit, --top
        o.limit = n;
    }
    return error;
}

}  // namespace

ParsedArguments parseCliArguments(int argc, const char* const* argv)
{
    ParsedArguments parsed;
    CliCommand& c = parsed.command;
    std::vector<std::string> given;
    bool hasArgument = false;
    bool pidWord = false;
    // A number in the first place of the words (after any options before it) is a pid.
    int firstWord = 1;
    while (firstWord < argc && argv[firstWord][0] == '-')
        firstWord += kTakesValue.count(argv[firstWord]) ? 2 : 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            parsed.help = true;
            return parsed;
        }
        if (a == "--version") {
            parsed.version = true;
            return parsed;
        }
        if (kTakesValue.count(a) || kOptionCommands.count(a) || kEveryCommand.count(a)) {
            given.push_back(a);
            if (a == "--raw")
                c.options.raw = true;
            else if (a == "--json")
                c.options.json = true;
            else if (a == "--subclasses")
                c.options.subclasses = true;
            else if (a == "--weak")
                c.options.weak = true;
            else if (a == "--internals")
                c.options.internals = true;
            else if (a == "--retained")
                c.options.retained = true;
            else if (a == "--force")
                c.options.force = true;
            else if (i + 1 >= argc)
                return parsed.error = a + " needs a value", parsed;
            else if (std::string why = apply(a, argv[++i], c.options); !why.empty())
                return parsed.error = why, parsed;
        } else if (a.size() > 1 && a[0] == '-') {
            return parsed.error = "unknown option " + a, parsed;
        } else if (c.name.empty() && i == firstWord && isProcessId(a)) {
            if (c.options.pid != 0)
                return parsed.error = "two process ids: " + std::to_string(c.options.pid) + " and " + a, parsed;
            c.options.pid = std::stoll(a);
            pidWord = true;
        } else if (c.name.empty()) {
            c.name = a;
        } else if (!hasArgument && (kNeedsArgument.count(c.name) || kMayTakeArgument.count(c.name))) {
            c.argument = a;
            hasArgument = true;
        } else {
            return parsed.error = "unexpected argument " + a, parsed;
        }
    }
    if (c.name.empty() && (c.options.pid != 0 || c.options.portGiven || !c.options.hprof.empty()))
        return parsed.error = pidWord ? "no command for process " + std::to_string(c.options.pid) : "no command", parsed;
    if (c.name.empty())
        c.name = "list";
    if (!kCommands.count(c.name))
        return parsed.error = "unknown command " + c.name, parsed;
    if (kNeedsArgument.count(c.name) && !hasArgument)
        return parsed.error = c.name + (c.name == "find"                           ? " needs a CLASS"
                                        : c.name == "compare" || c.name == "dump" ? " needs a FILE"
                                                                                  : " needs a HANDLE"),
               parsed;
    for (const std::string& option : given) {
        if (c.name == "list" && kAgentOptions.count(option))
            return parsed.error = option + " does not apply to list", parsed;
        const auto allowed = kOptionCommands.find(option);
        if (!kEveryCommand.count(option) && allowed != kOptionCommands.end() && !allowed->second.count(c.name))
            return parsed.error = option + " does not apply to " + c.name, parsed;
    }
    if (c.options.raw && c.options.json)
        return parsed.error = "--raw and --json do not go together", parsed;
    const CliOptions& o = c.options;
    const bool dump = !o.hprof.empty();
    if (c.name == "live" && !dump)
        return parsed.error = "live needs --hprof FILE, the heap dump OBJ is from", parsed;
    if (dump && (o.pid != 0 || o.portGiven) && c.name != "live")
        return parsed.error = "--hprof reads a heap dump, --pid and --port name a running VM: give one or the other", parsed;
    if (c.name == "compare" && !dump)
        return parsed.error = "compare needs --hprof LATER.hprof, and the earlier dump as its argument", parsed;
    // --weak changes how a snapshot counts; live, only path takes it.
    const bool snapshot = dump || c.name == "top" || c.name == "dominators" || c.name == "suspects" ||
                          (c.name == "histo" && o.retained);
    if (o.weak && !snapshot && c.name != "path")
        return parsed.error = "--weak does not apply to " + c.name, parsed;
    if (dump && o.depthGiven && c.name == "path")
        return parsed.error = "--depth does not apply to a heap dump: its path is found at once", parsed;
    // A dump's index keeps references, not the values a text would be found in.
    if (dump && !o.contains.empty())
        return parsed.error = "--contains does not apply to a heap dump", parsed;
    return parsed;
}
