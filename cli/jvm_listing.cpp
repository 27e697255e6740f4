#include "jvm_listing.h"

#include "json_writer.h"
#include "text_table.h"

namespace {

std::string agentColumn(const LocalJvm& jvm)
{
    if (!jvm.ours)
        return "another user's (" + jvm.user + ")";
    if (jvm.agent.state == PortFileState::found)
        return "127.0.0.1:" + std::to_string(jvm.agent.port);
    if (jvm.attachDisabled)
        return "- (attach disabled: -XX:+DisableAttachMechanism)";
    return "-";
}

std::string orDash(const std::string& text)
{
    return text.empty() ? "-" : text;
}

}  // namespace

std::string jvmListText(const std::vector<LocalJvm>& jvms)
{
    if (jvms.empty())
        return "no Java VMs found (a VM started with -XX:-UsePerfData is not seen)\n";
    TextTable table;
    table.rightAligned = {true};
    table.rows.push_back({"PID", "MAIN", "JVM", "AGENT"});
    for (const LocalJvm& jvm : jvms)
        table.rows.push_back({std::to_string(jvm.process.pid), orDash(jvm.mainClass), orDash(jvm.vmVersion),
                              agentColumn(jvm)});
    return formatTable(table);
}

std::string jvmListJson(const std::vector<LocalJvm>& jvms)
{
    JsonWriter json;
    json.beginObject().key("jvms").beginArray();
    for (const LocalJvm& jvm : jvms) {
        json.beginObject();
        json.key("pid").value(static_cast<long long>(jvm.process.pid));
        json.key("main").value(jvm.mainClass);
        json.key("vm").value(jvm.vmName);
        json.key("version").value(jvm.vmVersion);
        json.key("user").value(jvm.user);
        json.key("attachable").flag(jvm.ours && !jvm.attachDisabled);
        json.key("agent_port");
        if (jvm.agent.state == PortFileState::found)
            json.value(static_cast<long long>(jvm.agent.port));
        else
            json.null();
        json.endObject();
    }
    json.endArray().endObject();
    return json.text();
}
