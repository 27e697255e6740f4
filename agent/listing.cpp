#include "listing.h"

#include <cstdio>
#include <cstring>

#include "agent_log.h"

bool kind_filter(int root_kind, int value)
{
    if (value < 0) return false;
    if (value == 0) return true;
    for (; value > 0; value /= 10) {
        int digit = value % 10;
        trace("d=%d,kind=%d\n", digit, root_kind);
        if (digit == root_kind) return true;
    }
    return false;
}

// Hex digits of a handle ("%x": at least one).
static int hex_digits(uint32_t h) { return h == 0 ? 1 : (32 - __builtin_clz(h) + 3) / 4; }

// Bytes of d's listing line at depth 0.
static size_t listing_line_length(const ObjectDetails* d)
{
    return static_cast<size_t>(hex_digits(d->handle)) + 1 + (d->signature ? strlen(d->signature) : 0) + 2;
}

// Writes d's listing line at depth 0 (length bytes, from listing_line_length) into out.
static void write_listing_line(char* out, const ObjectDetails* d, size_t length)
{
    int digits = hex_digits(d->handle);
    for (int i = digits - 1, shift = 0; i >= 0; i--, shift += 4) out[i] = "0123456789abcdef"[(d->handle >> shift) & 0xf];
    size_t signature = length - static_cast<size_t>(digits) - 3;
    out[digits] = ' ';
    if (signature) memcpy(out + digits + 1, d->signature, signature);
    out[length - 2] = ' ';
    out[length - 1] = '\n';
}

void append_listing_line(std::string& body, const ObjectDetails* d, int depth)
{
    body.append(static_cast<size_t>(depth), '\t');
    size_t at = body.size(), length = listing_line_length(d);
    body.resize(at + length);
    write_listing_line(&body[at], d, length);
}

void Listing::add(ObjectDetails* d)
{
    trace("%sobj_d=%x\n", "", handle_text_of(d));
    entries.push_back(d);
    length += listing_line_length(d);
}

void Listing::clear()
{
    std::vector<ObjectDetails*>().swap(entries);
    length = 0;
}

void collect_root_listing(Listing& out, const RootList& roots, int kind_value)
{
    for (const RootNode* n = roots.root_objs.get(); n; n = n->next.get()) {
        if (n->objd && kind_filter(n->objd->root_kind, kind_value)) out.add(n->objd);
    }
}

bool write_listing(const Listing& listing, const std::function<bool(const char*, size_t)>& sink)
{
    // Big enough that a million-line body leaves in a few hundred sends, small enough to
    // stay in cache while it is filled.
    std::vector<char> buffer(64 * 1024);
    size_t used = 0;
    for (const ObjectDetails* d : listing.entries) {
        size_t n = listing_line_length(d);
        if (used + n > buffer.size()) {
            if (used > 0 && !sink(buffer.data(), used)) return false;
            used = 0;
        }
        if (n > buffer.size()) {  // a signature longer than the buffer: a line of its own
            std::string line(n, '\0');
            write_listing_line(line.data(), d, n);
            if (!sink(line.data(), n)) return false;
            continue;
        }
        write_listing_line(buffer.data() + used, d, n);
        used += n;
    }
    return used == 0 || sink(buffer.data(), used);
}

std::string listing_text(const Listing& listing)
{
    std::string text;
    text.reserve(listing.length);
    write_listing(listing, [&](const char* data, size_t n) {
        text.append(data, n);
        return true;
    });
    return text;
}

// The visited list guards against listing an entry twice; the removals that follow only
// show up in the trace, where they document how the list drains.
void collect_reference_listing(Listing& out, ObjectDetails* d)
{
    const char* tabs = "";
    ObjList& refs = list_of(d);
    trace("%sobj1->next_obj_list == %x\n", tabs, addr32(&refs));
    if (!refs.head.obj) {
        trace("%sobj1->next_obj_list->obj == NULL\n", tabs);
        return;
    }
    if (!tracing() && !refs.duplicates) {
        // Entries are distinct already, so the visited list could not drop any.
        size_t count = 0;
        for (const ObjNode* n = &refs.head; n && n->obj; n = n->nlist.get()) count++;
        out.entries.reserve(out.entries.size() + count);
        for (const ObjNode* n = &refs.head; n && n->obj; n = n->nlist.get()) out.add(n->obj);
        return;
    }
    ObjList visited;
    trace("%sobj1->next_obj_list->obj != NULL\n", tabs);
    trace("%sfirst children\n", tabs);
    print_list(&visited.head);
    trace("\n");
    out.add(refs.head.obj);
    add_list(&visited, refs.head.obj, 0);
    trace("%s2:tabs=%d\n", tabs, 0);

    const ObjNode* lst = refs.head.nlist.get();
    for (;;) {
        trace("%slst == %x\n", tabs, addr32(lst));
        if (!lst) break;
        if (!lst->obj) {
            trace("%slst->obj == NULL\n", tabs);
            break;
        }
        if (list_search(&visited, lst->obj) != 0) {
            trace("%snext children\n", tabs);
            print_list(&visited.head);
            trace("\n");
            out.add(lst->obj);
            add_list(&visited, lst->obj, 0);
        }
        lst = lst->nlist.get();
    }

    if (tracing()) {
        remove_list(&visited, refs.head.obj);
        trace("%sremove_1st_chidren %x\n", tabs, handle_text_of(refs.head.obj));
        print_list(&visited.head);
        trace("\n");
        for (const ObjNode* n = refs.head.nlist.get(); n && n->obj; n = n->nlist.get()) {
            trace("%sremove_next_chidren %x\n", tabs, handle_text_of(n->obj));
            remove_list(&visited, n->obj);
            print_list(&visited.head);
            trace("\n");
        }
        trace("%sremove_chidren\n", tabs);
        print_list(&visited.head);
        trace("\n");
    }
    trace_flush();
}
