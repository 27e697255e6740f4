// Collections read live through the agent and the client library, compared with what
// the Java program itself printed by iterating each one (CollectionsTarget).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <memory>
#include <sstream>

#include "agent_session.h"
#include "collection_reader.h"
#include "agent_object_source.h"
#include "jvm_process.h"

namespace {

// What the program printed: each case's size line and entry lines, by name.
std::map<std::string, std::string> printedCases(const std::string& out)
{
    std::map<std::string, std::string> cases;
    std::istringstream in(out);
    std::string line, name, block;
    while (std::getline(in, line)) {
        if (line.rfind("case ", 0) == 0) {
            name = line.substr(5, line.rfind(' ') - 5);
            block = line + "\n";
        } else if (line == "end " + name) {
            cases[name] = block;
            name.clear();
        } else if (!name.empty()) {
            block += line + "\n";
        }
    }
    return cases;
}

class CollectionsE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = free_port();
        JvmLaunch launch;
        launch.agent_options = "port=" + std::to_string(port);
        launch.main_class = "CollectionsTarget";
        jvm = std::make_unique<JvmProcess>(launch);
        ASSERT_TRUE(jvm->wait_for_output("ready")) << jvm->err();
        ASSERT_TRUE(jvm->wait_listening(port)) << jvm->err();
        session = std::make_unique<AgentSession>(port);
        source = std::make_unique<AgentObjectSource>(*session);
    }

    // As the program prints a value: the preview, null, Collider#ID, or the class name.
    std::string label(const ObjectRef& o)
    {
        if (o.handle.empty())
            return "null";
        if (!o.preview.empty())
            return o.preview;
        if (o.type == "CollectionsTarget$Collider") {
            Result<ObjectView> collider = session->object({o.handle, {}, {}});
            for (const Slot& s : collider.value.contents)
                if (s.name == "id")
                    return "Collider#" + s.value;
        }
        return o.type;
    }

    // The case read through the reader, a page of `pageSize` at a time, printed as the
    // program prints it.
    std::string readCase(const std::string& name, const std::string& handle, long long pageSize, CollectionPage& first)
    {
        CollectionReader reader(*source, handle);
        std::string block;
        for (long long offset = 0;; offset += pageSize) {
            Result<CollectionPage> page = reader.page(offset, pageSize);
            EXPECT_TRUE(page.ok()) << name << ": " << page.error.message;
            if (offset == 0)
                first = page.value;
            if (!page.ok() || !page.value.read)
                return "not read: " + page.value.note + "\n";
            if (offset == 0)
                block = "case " + name + " " + std::to_string(page.value.size) + "\n";
            for (const CollectionEntry& e : page.value.entries) {
                if (page.value.shape == CollectionShape::map)
                    block += "entry " + label(e.key) + "\t" + label(e.value) + "\n";
                else
                    block += "element " + label(e.key) + "\n";
            }
            if (page.value.complete || page.value.entries.empty())
                return block;
        }
    }

    int port = 0;
    std::unique_ptr<JvmProcess> jvm;
    std::unique_ptr<AgentSession> session;
    std::unique_ptr<AgentObjectSource> source;
};

TEST_F(CollectionsE2E, EveryCollectionReadsAsItsOwnIteratorPrintsIt)
{
    const std::map<std::string, std::string> printed = printedCases(jvm->out());
    ASSERT_GT(printed.size(), 50u);

    InstancesQuery query;
    query.className = "CollectionsTarget$Case";
    query.limit = 1000;
    Result<InstancesPage> cases = session->instances(query);
    ASSERT_TRUE(cases.ok()) << cases.error.message;
    ASSERT_EQ(cases.value.rows.size(), printed.size());

    std::set<std::string> seen;
    for (const ObjectRef& c : cases.value.rows) {
        Result<ObjectView> view = session->object({c.handle, {}, {}});
        ASSERT_TRUE(view.ok());
        std::string name, handle;
        for (const Slot& s : view.value.contents) {
            if (s.name == "name")
                name = s.target.preview.substr(1, s.target.preview.size() - 2);
            if (s.name == "collection")
                handle = s.target.handle;
        }
        ASSERT_TRUE(printed.count(name)) << name;
        seen.insert(name);
        CollectionPage first;
        // Pages of 7 cross chains, bins and tree levels; one page of all reads it at once.
        EXPECT_EQ(readCase(name, handle, 7, first), printed.at(name)) << name;
        EXPECT_EQ(readCase(name, handle, 5000, first), printed.at(name)) << name;
        EXPECT_TRUE(first.capacity == -1 || first.capacity >= first.size) << name;
        if (name.rfind("Collections.", 0) == 0 || name == "HashSet") {
            EXPECT_FALSE(first.unwrapped.empty()) << name;
        }
    }
    EXPECT_EQ(seen.size(), printed.size());
}

}  // namespace
