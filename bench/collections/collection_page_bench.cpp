// Times the first page of a big collection read as its entries, live, against a plain
// `object` request of the same collection (its fields only) as the anchor. Finds the
// collections through the only CollectionsHeap$Holder. Prints one JSON object per
// collection.
//
//   vorlan_collection_bench PORT [RUNS] [PAGE]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "agent_object_source.h"
#include "agent_session.h"
#include "collection_reader.h"

namespace {

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

[[noreturn]] void fail(const std::string& why)
{
    std::fprintf(stderr, "vorlan_collection_bench: %s\n", why.c_str());
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        fail("usage: vorlan_collection_bench PORT [RUNS] [PAGE]");
    const int port = std::atoi(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    const long long pageSize = argc > 3 ? std::atoll(argv[3]) : 1000;
    AgentSession session(port, std::chrono::seconds(30));
    InstancesQuery holders;
    holders.className = "CollectionsHeap$Holder";
    const Result<InstancesPage> found = session.instances(holders);
    if (!found.ok() || found.value.rows.size() != 1)
        fail("no single CollectionsHeap$Holder: " + found.error.message);
    const Result<ObjectView> holder = session.object({found.value.rows[0].handle, {}, {}});
    if (!holder.ok())
        fail(holder.error.message);
    AgentObjectSource source(session);
    for (const Slot& slot : holder.value.contents) {
        if (slot.how != "field" || !slot.refersToObject())
            continue;
        const std::string& handle = slot.target.handle;
        std::vector<double> anchor, first, next;
        long long entries = 0, size = 0;
        for (int run = 0; run < runs; ++run) {
            auto start = std::chrono::steady_clock::now();
            if (!session.object({handle, {}, {}}).ok())
                fail("object " + handle);
            anchor.push_back(msSince(start));

            CollectionReader reader(source, handle);
            start = std::chrono::steady_clock::now();
            const Result<CollectionPage> page = reader.page(0, pageSize);
            first.push_back(msSince(start));
            if (!page.ok() || !page.value.read)
                fail(slot.name + ": " + (page.ok() ? page.value.note : page.error.message));
            entries = static_cast<long long>(page.value.entries.size());
            size = page.value.size;
            if (entries != std::min(pageSize, size))
                fail(slot.name + ": a page of " + std::to_string(entries) + " entries");
            start = std::chrono::steady_clock::now();
            if (!reader.page(pageSize, pageSize).ok())
                fail(slot.name + ": the second page");
            next.push_back(msSince(start));
        }
        std::printf("{\"collection\": \"%s\", \"type\": \"%s\", \"size\": %lld, \"page\": %lld, "
                    "\"object_ms\": %.2f, \"first_page_ms\": %.2f, \"next_page_ms\": %.2f, \"ratio\": %.1f}\n",
                    slot.name.c_str(), slot.target.type.c_str(), size, entries, median(anchor), median(first),
                    median(next), median(first) / std::max(0.001, median(anchor)));
        std::fflush(stdout);
    }
    return 0;
}
