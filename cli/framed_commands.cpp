#include "framed_commands.h"

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

int cli_show(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err)
{
    const CliOptions& o = c.options;
    return print(session.object({c.argument, o.offset, o.limit}), o.json, showJson, showText, out, err);
}

int cli_histo(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err)
{
    const CliOptions& o = c.options;
    return print(session.histo({o.match, o.limit}), o.json, histoJson, histoText, out, err);
}

int cli_find(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err)
{
    const CliOptions& o = c.options;
    return print(session.instances({c.argument, o.subclasses, o.offset, o.limit, true}), o.json, instancesJson,
                 instancesText, out, err);
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
