#include "snapshot_commands.h"

#include <new>

#include "hprof_error.h"
#include "live_snapshot.h"
#include "progress_line.h"
#include "snapshot_json.h"
#include "snapshot_open.h"
#include "snapshot_text.h"

namespace {

uint32_t limitOr(const CliOptions& o, uint32_t fallback)
{
    return o.limit ? static_cast<uint32_t>(std::min<long long>(*o.limit, UINT32_MAX)) : fallback;
}

uint64_t offsetOr0(const CliOptions& o)
{
    return o.offset ? static_cast<uint64_t>(*o.offset) : 0;
}

template <typename Reply>
int print(const Reply& reply, bool json, std::string (*asJson)(const Reply&), std::string (*asText)(const Reply&),
          std::ostream& out)
{
    out << (json ? asJson(reply) : asText(reply));
    return 0;
}

std::unique_ptr<Snapshot> openFile(const std::string& path, const CliOptions& o, std::ostream& err, bool progress)
{
    ProgressLine line(err, progress, path);
    OpenOptions options;
    options.weakAsStrong = o.weak;
    options.progress = line.callback();
    return openSnapshotFile(path, options);
}

// current: the file being read, for an error's message.
int compare(const CliCommand& c, std::ostream& out, std::ostream& err, bool progress, std::string& current)
{
    // One snapshot at a time: the earlier one's profile is all that is kept of it.
    current = c.argument;
    const ClassProfile earlier = openFile(current, c.options, err, progress)->profile();
    current = c.options.hprof;
    const ClassProfile later = openFile(current, c.options, err, progress)->profile();
    const CompareReply reply = compareSnapshots(earlier, later, c.options.limit ? static_cast<uint64_t>(*c.options.limit) : 50);
    if (!reply.comparable) {
        err << "vorlan-cli: " << c.argument << " and " << c.options.hprof << ": " << reply.refusal << "\n";
        return 1;
    }
    return print(reply, c.options.json, compareJson, compareText, out);
}

}  // namespace

bool needsSnapshot(const CliCommand& c)
{
    return !c.options.hprof.empty() || c.name == "top" || c.name == "dominators" || c.name == "suspects" ||
           c.name == "compare" || (c.name == "histo" && c.options.retained);
}

int snapshotCommand(const Snapshot& snapshot, const CliCommand& c, std::ostream& out, std::ostream&)
{
    const CliOptions& o = c.options;
    const bool json = o.json;
    if (c.name == "top")
        return print(snapshot.top(limitOr(o, 10)), json, topJson, topText, out);
    if (c.name == "suspects")
        return print(snapshot.suspects(o.threshold.value_or(0.10), limitOr(o, 20)), json, suspectsJson, suspectsText, out);
    if (c.name == "dominators") {
        const uint32_t node = c.argument.empty() ? kVirtualRoot : snapshot.objectNamed(c.argument);
        return print(snapshot.dominators(node, offsetOr0(o), limitOr(o, 25)), json, dominatorsJson, dominatorsText, out);
    }
    if (c.name == "histo") {
        HistogramQuery query;
        query.match = o.match;
        query.limit = o.limit ? static_cast<uint64_t>(*o.limit) : UINT64_MAX;
        query.byRetained = o.retained;
        return print(snapshot.histogram(query), json, snapshotHistoJson, snapshotHistoText, out);
    }
    if (c.name == "find")
        return print(snapshot.instances(c.argument, o.subclasses, offsetOr0(o), limitOr(o, 100)), json,
                     snapshotInstancesJson, snapshotInstancesText, out);
    if (c.name == "show")
        return print(snapshot.show(snapshot.objectNamed(c.argument), offsetOr0(o), limitOr(o, 100)), json,
                     snapshotShowJson, snapshotShowText, out);
    if (c.name == "refs")
        return print(snapshot.referrers(snapshot.objectNamed(c.argument), limitOr(o, 100)), json,
                     snapshotReferrersJson, snapshotReferrersText, out);
    return print(snapshot.path(snapshot.objectNamed(c.argument)), json, snapshotPathJson, snapshotPathText, out);
}

int runSnapshotCommand(const CliCommand& c, std::ostream& out, std::ostream& err, bool progress)
{
    std::string path = c.options.hprof;
    try {
        if (c.name == "compare")
            return compare(c, out, err, progress, path);
        std::unique_ptr<Snapshot> snapshot;
        if (!path.empty()) {
            snapshot = openFile(path, c.options, err, progress);
        } else {
            ProgressLine line(err, progress, "the heap");
            snapshot = openLiveSnapshot(c.options, line.callback());
        }
        return snapshotCommand(*snapshot, c, out, err);
    } catch (const HprofError& e) {
        err << "vorlan-cli: " << path << ": " << e.what() << "\n";
    } catch (const SourceError& e) {
        err << "vorlan-cli: " << e.what() << "\n";
    } catch (const SnapshotError& e) {
        err << "vorlan-cli: " << e.what() << "\n";
    } catch (const LiveSnapshotError& e) {
        err << "vorlan-cli: " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        err << "vorlan-cli: " << (path.empty() ? std::string("the heap") : path)
            << ": not enough memory to read and analyse it\n";
    } catch (const std::exception& e) {
        err << "vorlan-cli: " << (path.empty() ? std::string("the heap") : path) << ": " << e.what() << "\n";
    }
    return 1;
}
