#include "queries.h"

namespace {

void addNumber(Request& request, const char* name, const std::optional<long long>& value)
{
    if (value)
        request.args.push_back(std::string(name) + "=" + std::to_string(*value));
}

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& w : words)
        text += (text.empty() ? "" : ",") + w;
    return text;
}

}  // namespace

Request helloRequest()
{
    return {"hello", {}};
}

Request toRequest(const RootsQuery& query)
{
    Request request{"roots", {}};
    addNumber(request, "offset", query.offset);
    addNumber(request, "limit", query.limit);
    return request;
}

Request toRequest(const ObjectQuery& query)
{
    Request request{"object", {query.handle}};
    addNumber(request, "offset", query.offset);
    addNumber(request, "limit", query.limit);
    return request;
}

Request toRequest(const ObjectsQuery& query)
{
    Request request{"objects", {joined(query.handles)}};
    if (!query.follow.empty())
        request.args.push_back("follow=" + joined(query.follow));
    addNumber(request, "max", query.max);
    addNumber(request, "offset", query.offset);
    addNumber(request, "limit", query.limit);
    return request;
}

Request toRequest(const ClassQuery& query)
{
    return {"class", {query.className}};
}

Request toRequest(const HistoQuery& query)
{
    Request request{"histo", {}};
    if (!query.match.empty())
        request.args.push_back("match=" + query.match);
    addNumber(request, "limit", query.limit);
    if (query.agentWalk)
        request.args.push_back("walk=1");
    return request;
}

Request toRequest(const InstancesQuery& query)
{
    Request request{"instances", {query.className}};
    if (query.subclasses)
        request.args.push_back("subclasses=1");
    addNumber(request, "offset", query.offset);
    addNumber(request, "limit", query.limit);
    if (!query.collectFirst)
        request.args.push_back("gc=0");
    if (!query.contains.empty())
        request.args.push_back("contains=" + query.contains);
    return request;
}

Request toRequest(const ReferrersQuery& query)
{
    Request request{"referrers", {query.handle}};
    addNumber(request, "limit", query.limit);
    return request;
}

Request toRequest(const PathQuery& query)
{
    Request request{"path", {query.handle}};
    if (query.throughWeak)
        request.args.push_back("weak=1");
    addNumber(request, "depth", query.depth);
    return request;
}

Request toRequest(const FollowQuery& query)
{
    Request request{"follow", {query.rootKind, query.rootName}};
    for (const FollowStep& step : query.steps)
        request.args.insert(request.args.end(), {step.how, step.name, step.declared, step.type});
    return request;
}
