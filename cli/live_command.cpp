#include "live_command.h"

#include "framed_commands.h"
#include "framed_text.h"
#include "hprof_error.h"
#include "json_writer.h"
#include "live_chain.h"
#include "progress_line.h"
#include "snapshot_open.h"
#include "text_table.h"

namespace {

std::string chainText(const FollowReply& reply)
{
    TextTable table;
    table.rightAligned = {false, false, false, true};
    table.rows.push_back({"held by", "type", "object", "size", ""});
    std::string holderType;
    for (const Hop& hop : reply.chain) {
        const bool start = &hop == &reply.chain.front();
        table.rows.push_back({start ? hop.how : holdLabel(hop.how, hop.name, hop.declared, hop.declared != holderType),
                              hop.object.type, hop.object.handle,
                              hop.object.size < 0 ? "" : std::to_string(hop.object.size),
                              printable(hop.object.preview)});
        holderType = hop.object.type;
    }
    return formatTable(table);
}

std::string chainJson(const std::string& object, const FollowReply& reply)
{
    JsonWriter w;
    w.beginObject().key("object").value(object).key("found").flag(reply.found);
    w.key("handle");
    if (reply.found && !reply.chain.empty())
        w.value(reply.chain.back().object.handle);
    else
        w.null();
    w.key("steps").count(reply.steps).key("followed").count(reply.followed);
    w.key("chain").beginArray();
    for (const Hop& hop : reply.chain) {
        w.beginObject().key("how").value(hop.how).key("name").value(hop.name).key("declared").value(hop.declared);
        w.key("handle").value(hop.object.handle).key("type").value(hop.object.type);
        w.key("size").count(hop.object.size).key("preview").value(hop.object.preview).endObject();
    }
    w.endArray().key("notes").beginArray();
    for (const std::string& note : reply.notes)
        w.value(note);
    return w.endArray().endObject().text();
}

}  // namespace

int cli_live(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err, bool progress)
{
    const std::string& file = c.options.hprof;
    LiveChainResult chain;
    try {
        ProgressLine line(err, progress, file);
        OpenOptions options;
        options.progress = line.callback();
        const std::unique_ptr<Snapshot> snapshot = openSnapshotFile(file, options);
        line.clear();
        const uint32_t object = snapshot->objectNamed(c.argument);
        const HeapIndex& index = snapshot->index();
        chain = liveChainTo(index, snapshot->analysis().paths.pathTo(index.graph, object));
    } catch (const HprofError& e) {
        err << "vorlan-cli: " << file << ": " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        err << "vorlan-cli: " << e.what() << "\n";
        return 1;
    }
    if (!chain.chain) {
        err << "vorlan-cli: " << c.argument << " cannot be found live: " << chain.why << "\n";
        return 1;
    }
    const Result<FollowReply> live = session.follow(chain.chain->query);
    if (!live.ok()) {
        err << "vorlan-cli: " << live.error.message << "\n";
        return 1;
    }
    const FollowReply& reply = live.value;
    if (c.options.json) {
        out << chainJson(c.argument, reply);
        return reply.found ? 0 : 1;
    }
    if (!reply.found) {
        out << chainText(reply);
        const std::string why = reply.notes.empty() ? "the chain broke off" : reply.notes.front();
        err << "vorlan-cli: " << c.argument << " is no longer where the dump had it: " << why << "\n";
        return 1;
    }
    const std::string handle = reply.chain.back().object.handle;
    out << c.argument << " is live as " << handle << ", reached from its GC root as the dump had it:\n"
        << chainText(reply) << "\n";
    // What it holds now, as show gives it.
    CliCommand show = c;
    show.name = "show";
    show.argument = handle;
    show.options.hprof.clear();
    return cli_show(session, show, out, err);
}
