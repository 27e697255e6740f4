// vorlan-cli: the Vorlan agent from a terminal, for machines without a display.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "cli_commands.h"
#include "command_line.h"

namespace {

const char* USAGE =
    "usage: vorlan-cli [--port N] [--raw] COMMAND\n"
    "\n"
    "Talks to the Vorlan agent on 127.0.0.1 (port 12345 unless --port says otherwise).\n"
    "\n"
    "commands:\n"
    "  roots                      the objects the VM holds as roots, with their types\n"
    "  expand HANDLE              the objects one object refers to directly\n"
    "  tree [--depth D] [HANDLE]  the tree below the roots, or below one object, D levels\n"
    "                             deep (default 2); an object already on the path above is\n"
    "                             printed but not expanded again\n"
    "  quit                       end the Java program the agent runs in (status 0)\n"
    "\n"
    "  --raw     print listing lines exactly as the agent sends them\n"
    "  -h, --help  this text\n"
    "\n"
    "Exit status: 0 on success; 1, with one line on standard error, when the agent cannot\n"
    "be reached or a handle names no object; 2 for a usage error.\n";

bool number(const char* text, int& value)
{
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    if (!*text || *end || v < -2147483647L || v > 2147483647L) return false;
    value = static_cast<int>(v);
    return true;
}

int usage_error(const std::string& why)
{
    std::cerr << "vorlan-cli: " << why << "\n" << USAGE;
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    CliOptions o;
    std::string command, handle;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::cout << USAGE;
            return 0;
        } else if (a == "--raw") {
            o.raw = true;
        } else if (a == "--port" || a == "--depth") {
            if (i + 1 >= argc) return usage_error(a + " needs a number");
            if (!number(argv[++i], a == "--port" ? o.port : o.depth)) return usage_error(a + " needs a number");
        } else if (a.size() > 1 && a[0] == '-' && command.empty()) {
            return usage_error("unknown option " + a);
        } else if (command.empty()) {
            command = a;
        } else if (handle.empty() && (command == "expand" || command == "tree")) {
            handle = a;
        } else {
            return usage_error("unexpected argument " + a);
        }
    }

    AgentClient client(o.port);
    if (command == "roots") return cli_roots(client, o, std::cout, std::cerr);
    if (command == "expand") {
        if (handle.empty()) return usage_error("expand needs a HANDLE");
        return cli_expand(client, o, handle, std::cout, std::cerr);
    }
    if (command == "tree") {
        if (o.depth < 1) return usage_error("--depth must be 1 or more");
        return cli_tree(client, o, handle, std::cout, std::cerr);
    }
    if (command == "quit") return cli_quit(client, o, std::cout, std::cerr);
    return usage_error(command.empty() ? "no command" : "unknown command " + command);
}
