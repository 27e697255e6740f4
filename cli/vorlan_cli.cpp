// vorlan-cli: the Vorlan agent from a terminal, for machines without a display, and
// heap dumps read without any VM.
#include <iostream>
#include <string>

#include "agent_loader.h"
#include "agent_session.h"
#include "cli_arguments.h"
#include "cli_commands.h"
#include "dump_command.h"
#include "framed_commands.h"
#include "jvm_listing.h"
#include "live_command.h"
#include "local_jvms.h"
#include "progress_line.h"
#include "snapshot_commands.h"
#include "version.h"

namespace {

int usage_error(const std::string& why)
{
    std::cerr << "vorlan-cli: " << why << " (vorlan-cli --help lists the commands)\n";
    return 2;
}

int run_classic(const CliCommand& c)
{
    AgentClient client(c.options.port);
    if (c.name == "roots") return cli_roots(client, c.options, std::cout, std::cerr);
    if (c.name == "expand") return cli_expand(client, c.options, c.argument, std::cout, std::cerr);
    if (c.name == "tree") return cli_tree(client, c.options, c.argument, std::cout, std::cerr);
    return cli_quit(client, c.options, std::cout, std::cerr);
}

int run_framed(const CliCommand& c)
{
    AgentSession session(c.options.port);
    if (c.name == "show") return cli_show(session, c, std::cout, std::cerr);
    if (c.name == "histo") return cli_histo(session, c, std::cout, std::cerr);
    if (c.name == "find") return cli_find(session, c, std::cout, std::cerr);
    if (c.name == "refs") return cli_refs(session, c, std::cout, std::cerr);
    return cli_path(session, c, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv)
{
    const ParsedArguments parsed = parseCliArguments(argc, argv);
    if (parsed.help) {
        std::cout << kCliUsage;
        return 0;
    }
    if (parsed.version) {
        std::cout << "vorlan-cli " << vorlanVersion() << "\n";
        return 0;
    }
    if (!parsed.error.empty()) return usage_error(parsed.error);
    CliCommand c = parsed.command;

    if (c.name == "list") {
        removeStalePortFiles();
        const std::vector<LocalJvm> jvms = listLocalJvms();
        std::cout << (c.options.json ? jvmListJson(jvms) : jvmListText(jvms));
        return 0;
    }
    // The VM writes its dump itself: no agent is needed, and none is loaded.
    if (c.name == "dump")
        return cli_dump(c, std::cout, std::cerr, standardErrorIsTerminal());
    // A snapshot needs no agent: a dump file, or the VM's own dump of its heap.
    if (needsSnapshot(c) && c.name != "live")
        return runSnapshotCommand(c, std::cout, std::cerr, standardErrorIsTerminal());
    if (c.options.pid != 0) {
        const std::string failure = resolveAgentPort(c.options);
        if (!failure.empty()) {
            std::cerr << "vorlan-cli: " << failure << "\n";
            return 1;
        }
    }
    const bool classic = c.name == "roots" || c.name == "expand" || c.name == "tree" || c.name == "quit";
    if (c.name == "live") {
        AgentSession session(c.options.port);
        return cli_live(session, c, std::cout, std::cerr, standardErrorIsTerminal());
    }
    return classic ? run_classic(c) : run_framed(c);
}
