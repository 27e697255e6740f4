#include "framed_commands.h"

#include "agent_object_source.h"
#include "collection_reader.h"
#include "framed_json.h"
#include "framed_text.h"

namespace {

template <typename View>
int print(const Result<View>& result, bool json, std::string (*asJson)(const View&),
          std::string (*asText)(const View&), std::ostream& out, std::ostream& err)
{
    if (!result.ok()) {
        err << "vorlan-cli: " << result.error.message << "\n";
        return 1;
    }
    out << (json ? asJson(result.value) : asText(result.value));
    return 0;
}

}  // namespace

namespace {

constexpr long long kEntriesShown = 1000;

// A collection as its entries; false (nothing printed) when it is not read as one, with
// the reader's note on why when it is a collection laid out otherwise than expected.
bool showCollection(AgentSession& session, const CliCommand& c, const ObjectView& view, std::ostream& out,
                    std::ostream& err, int& status, std::string& note)
{
    const CliOptions& o = c.options;
    if (o.internals || !CollectionReader::readsType(view.object.type))
        return false;
    AgentObjectSource source(session);
    CollectionReader reader(source, c.argument);
    const Result<CollectionPage> page = reader.page(o.offset.value_or(0), o.limit.value_or(kEntriesShown));
    if (!page.ok()) {
        err << "vorlan-cli: " << page.error.message << "\n";
        status = 1;
        return true;
    }
    if (!page.value.read) {
        note = page.value.note;
        return false;
    }
    out << (o.json ? collectionJson(view, page.value) : collectionText(view, page.value));
    status = 0;
    return true;
}

}  // namespace

int cli_show(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err)
{
    const CliOptions& o = c.options;
    const bool entries = !o.internals;
    // Paging options page a collection's entries, not its fields.
    Result<ObjectView> view = session.object({c.argument, entries ? std::nullopt : o.offset,
                                              entries ? std::nullopt : o.limit});
    if (view.ok() && entries && !CollectionReader::readsType(view.value.object.type) && (o.offset || o.limit))
        view = session.object({c.argument, o.offset, o.limit});
    if (!view.ok()) {
        err << "vorlan-cli: " << view.error.message << "\n";
        return 1;
    }
    int status = 0;
    std::string note;
    if (showCollection(session, c, view.value, out, err, status, note))
        return status;
    if (o.json) {
        out << showJson(view.value, note);
    } else {
        out << showText(view.value);
        if (!note.empty())
            out << "(" << printable(note) << ")\n";
    }
    return 0;
}

int cli_histo(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err)
{
    const CliOptions& o = c.options;
    return print(session.histo({o.match, o.limit}), o.json, histoJson, histoText, out, err);
}

int cli_find(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err)
{
    const CliOptions& o = c.options;
    InstancesQuery query;
    query.className = c.argument;
    query.subclasses = o.subclasses;
    query.offset = o.offset;
    query.limit = o.limit;
    query.contains = o.contains;
    return print(session.instances(query), o.json, instancesJson, instancesText, out, err);
}

int cli_refs(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err)
{
    const CliOptions& o = c.options;
    return print(session.referrers({c.argument, o.limit}), o.json, referrersJson, referrersText, out, err);
}

int cli_path(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err)
{
    const CliOptions& o = c.options;
    const PathQuery query{c.argument, o.weak, o.depthGiven ? std::optional<long long>(o.depth) : std::nullopt};
    const Result<PathReply> path = session.path(query);
    if (!path.ok()) {
        err << "vorlan-cli: " << path.error.message << "\n";
        return 1;
    }
    out << (o.json ? pathJson(path.value) : pathText(path.value, c.argument));
    return 0;
}
