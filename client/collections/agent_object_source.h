// The live heap as an ObjectSource: an AgentSession's `objects` request, one request per
// batch; an agent without it is asked `object` by `object`, following the fields here.
#pragma once

#include "agent_session.h"
#include "object_source.h"

class AgentObjectSource : public ObjectSource {
public:
    explicit AgentObjectSource(AgentSession& session) : session_(session) {}

    Result<std::vector<ObjectView>> read(const ObjectBatch& batch) override;
    Result<std::string> classObject(const std::string& className) override;

private:
    Result<std::vector<ObjectView>> readOneByOne(const ObjectBatch& batch);

    AgentSession& session_;
};
