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

// Length of d's listing line at depth 0.
static size_t listing_line_length(const ObjectDetails* d)
{
    size_t digits = 1;
    for (uint32_t h = d->handle >> 4; h != 0; h >>= 4) digits++;
    return digits + 1 + (d->signature ? strlen(d->signature) : 0) + 2;
}

// Writes d's listing line at depth 0 into out, which has room for it; returns its end.
static char* write_listing_line(char* out, const ObjectDetails* d)
{
    char* p = out;
    int shift = 28;
    while (shift > 0 && (d->handle >> shift) == 0) shift -= 4;
    for (; shift >= 0; shift -= 4) *p++ = "0123456789abcdef"[(d->handle >> shift) & 0xf];
    *p++ = ' ';
    if (d->signature) {
        size_t n = strlen(d->signature);
        memcpy(p, d->signature, n);
        p += n;
    }
    *p++ = ' ';
    *p++ = '\n';
    return p;
}

void append_listing_line(std::string& body, const ObjectDetails* d, int depth)
{
    trace("%sobj_d=%x\n", std::string(depth, '\t').c_str(), handle_text_of(d));
    // "%x" by hand: snprintf was a tenth of a million-line listing.
    char handle[8];
    int start = sizeof handle;
    uint32_t h = d->handle;
    do {
        handle[--start] = "0123456789abcdef"[h & 0xf];
        h >>= 4;
    } while (h != 0);
    body.append(static_cast<size_t>(depth), '\t');
    body.append(handle + start, sizeof handle - start);
    body += ' ';
    body += d->signature ? d->signature : "";
    body += " \n";
}

void append_root_listing(std::string& body, const RootList& roots, int kind_value)
{
    for (const RootNode* n = roots.root_objs.get(); n; n = n->next.get()) {
        if (n->objd && kind_filter(n->objd->root_kind, kind_value)) append_listing_line(body, n->objd, 0);
    }
}

// The visited list guards against listing an entry twice; the removals that follow only
// show up in the trace, where they document how the list drains.
void append_reference_listing(std::string& body, ObjectDetails* d)
{
    const char* tabs = "";
    ObjList& refs = d->next_obj_list;
    trace("%sobj1->next_obj_list == %x\n", tabs, addr32(&refs));
    if (!refs.head.obj) {
        trace("%sobj1->next_obj_list->obj == NULL\n", tabs);
        return;
    }
    if (!tracing() && !refs.duplicates) {
        // Entries are distinct already, so the visited list could not drop any. The body
        // is sized first: growing a million-line text by doubling left freed blocks
        // resident, tens of MB after the reply had gone.
        size_t length = body.size();
        for (const ObjNode* n = &refs.head; n && n->obj; n = n->nlist.get()) length += listing_line_length(n->obj);
        size_t at = body.size();
        body.resize(length);
        for (const ObjNode* n = &refs.head; n && n->obj; n = n->nlist.get()) at = write_listing_line(&body[at], n->obj) - body.data();
        return;
    }
    ObjList visited;
    trace("%sobj1->next_obj_list->obj != NULL\n", tabs);
    trace("%sfirst children\n", tabs);
    print_list(&visited.head);
    trace("\n");
    append_listing_line(body, refs.head.obj, 0);
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
            append_listing_line(body, lst->obj, 0);
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
