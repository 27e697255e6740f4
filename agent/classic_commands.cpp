#include "classic_commands.h"

#include "agent_state.h"
#include "attached_thread.h"
#include "build_listing.h"
#include "protocol.h"
#include "reply_sender.h"
#include "snapshot.h"
#include "sweep.h"

namespace {

// Sends the listing with its trace; false when the connection has to be dropped.
bool send_listing(const Agent& agent, const SocketFd& client)
{
    const Listing& listing = agent.snapshot.reply;
    trace("dataDumpRequest end\n");
    trace("%s", listing_text(listing).c_str());
    trace("size=%d\n", static_cast<int>(listing.length));
    auto header = format_header(listing.length);
    trace("send size: sizeof(buf)=%d\n", static_cast<int>(MSG_SIZE));
    send_all(client, header.data(), header.size());
    trace("send contents\n");
    long sent = 0;
    bool ok = write_listing(listing, [&](const char* data, size_t n) {
        long part = send_all(client, data, n);
        if (part < 0) return false;
        sent += part;
        return true;
    });
    if (!ok) return false;
    progress("%ld bytes sent.\n", sent);
    return true;
}

}  // namespace

ClassicOutcome serve_classic(Agent& agent, const SocketFd& client, const Exchange& e)
{
    Request req = decide_request(e.command, e.has_handle ? &e.handle_msg : nullptr);
    if (e.has_handle) trace("adr=%x\n", static_cast<unsigned>(parse_handle(e.handle_msg.text)));
    {
        AttachedThread attached(agent.vm);
        JNIEnv* jni = attached.jni();
        if (req.action == Action::Prepare) {
            releaseSnapshot(agent, jni);
            prepareSnapshot(agent, jni);
        }
        if (req.action != Action::Quit) buildListing(agent, jni, static_cast<uint32_t>(req.handle));
        if (req.action == Action::Quit) releaseSnapshot(agent, jni);
    }
    if (req.action == Action::Quit) return ClassicOutcome::Quit;
    bool ok = send_listing(agent, client);
    release_reply(agent);
    // After the reply, which is written from the descriptors it names: the client has
    // its root listing while the old tags are let go.
    if (req.action == Action::Prepare && sweep_due(agent)) {
        AttachedThread attached(agent.vm);
        SweepCounts n;
        // The program is not stopped for it: no tag is taken off one by one.
        if (sweep_descriptors(agent, attached.jni(), n))
            progress("vorlanagt: forgot %zu handles listed before this \"p\"; %zu kept, %zu of them dead; "
                     "the sweep took %.0f ms\n",
                     n.forgotten, n.kept, n.dead, n.ms);
    }
    return ok ? ClassicOutcome::Sent : ClassicOutcome::Dropped;
}
