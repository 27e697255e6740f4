#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "listing.h"
#include "object_details.h"
#include "trace_capture.h"

namespace {

ObjectDetails* make(const char* signature)
{
    ObjectDetails* d = new_object_descriptor();
    d->signature = intern_signature(signature);
    return d;
}

std::string line_of(const ObjectDetails* d)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%x ", d->handle);
    return buf + std::string(d->signature) + " \n";
}

TEST(KindFilter, DigitsNameTheKindsThatPass)
{
    for (int kind = 1; kind <= 7; kind++) {
        EXPECT_TRUE(kind_filter(kind, 0)) << kind;
        EXPECT_FALSE(kind_filter(kind, -1)) << kind;
        EXPECT_EQ(kind_filter(kind, 1), kind == 1) << kind;
        EXPECT_EQ(kind_filter(kind, 12), kind == 1 || kind == 2) << kind;
        EXPECT_EQ(kind_filter(kind, 23), kind == 2 || kind == 3) << kind;
        EXPECT_EQ(kind_filter(kind, 1234567), true) << kind;
    }
}

TEST(KindFilter, TracesEachDigitFromTheLowest)
{
    TraceCapture cap;
    EXPECT_FALSE(kind_filter(1, 23));
    EXPECT_TRUE(kind_filter(2, 23));
    EXPECT_EQ(cap.text(), "d=3,kind=1\nd=2,kind=1\nd=3,kind=2\nd=2,kind=2\n");
}

TEST(ListingLine, HandleSignatureAndTrailingBlank)
{
    ObjectDetails* d = make("Ljava/lang/String;");
    std::string body = "x";
    append_listing_line(body, d, 0);
    EXPECT_EQ(body, "x" + line_of(d));
    std::string indented;
    append_listing_line(indented, d, 2);
    EXPECT_EQ(indented, "\t\t" + line_of(d));
}

TEST(ListingLine, LongSignaturesAreNotCut)
{
    std::string sig = "L" + std::string(5000, 'a') + ";";
    ObjectDetails* d = make(sig.c_str());
    std::string body;
    append_listing_line(body, d, 0);
    EXPECT_EQ(body, line_of(d));
    EXPECT_GT(body.size(), 5000u);
}

TEST(RootListing, FiltersByLatestRootKindInListOrder)
{
    ObjectDetails* a = make("La;");
    ObjectDetails* b = make("Lb;");
    ObjectDetails* c = make("Lc;");
    a->root_kind = 1;
    b->root_kind = 2;
    c->root_kind = 1;
    RootList roots;
    root_list_append(roots, c);
    root_list_append(roots, b);
    root_list_append(roots, a);
    std::string body;
    append_root_listing(body, roots, 1);
    EXPECT_EQ(body, line_of(c) + line_of(a));
    body.clear();
    append_root_listing(body, roots, 0);
    EXPECT_EQ(body, line_of(c) + line_of(b) + line_of(a));
    body.clear();
    append_root_listing(body, roots, -1);
    EXPECT_EQ(body, "");
    c->root_kind = 2;  // a later report under another kind decides
    body.clear();
    append_root_listing(body, roots, 1);
    EXPECT_EQ(body, line_of(a));
}

TEST(ReferenceListing, OneLinePerEntryInListOrderIncludingItself)
{
    ObjectDetails* self = make("LHolder;");
    ObjectDetails* s = make("Ljava/lang/String;");
    ObjectDetails* ints = make("[I");
    add_list(&self->next_obj_list, s, 1);
    add_list(&self->next_obj_list, self, 1);
    add_list(&self->next_obj_list, ints, 1);
    add_list(&self->next_obj_list, s, 1);
    std::string body;
    append_reference_listing(body, self);
    EXPECT_EQ(body, line_of(s) + line_of(self) + line_of(ints));
    // Listing again gives the same text.
    std::string again;
    append_reference_listing(again, self);
    EXPECT_EQ(again, body);
}

TEST(ReferenceListing, CopiesInTheListAreListedOnceWithOrWithoutTrace)
{
    ObjectDetails* d = make("LHolder;");
    ObjectDetails* a = make("La;");
    ObjectDetails* b = make("Lb;");
    add_list(&d->next_obj_list, a, 0);
    add_list(&d->next_obj_list, b, 0);
    add_list(&d->next_obj_list, a, 0);
    for (int debug : {-1, 1}) {
        TraceCapture cap(debug);
        std::string body;
        append_reference_listing(body, d);
        EXPECT_EQ(body, line_of(a) + line_of(b)) << debug;
    }
}

TEST(ReferenceListing, EmptyListGivesEmptyBody)
{
    ObjectDetails* d = make("LEmpty;");
    TraceCapture cap;
    std::string body;
    append_reference_listing(body, d);
    EXPECT_EQ(body, "");
    std::string t = cap.text();
    EXPECT_EQ(t.rfind("obj1->next_obj_list == ", 0), 0u);
    EXPECT_EQ(t.substr(t.find('\n') + 1), "obj1->next_obj_list->obj == NULL\n");
}

TEST(ReferenceListing, TraceDocumentsTheVisitedListAndItsDraining)
{
    ObjectDetails* d = make("LHolder;");
    ObjectDetails* a = make("La;");
    ObjectDetails* b = make("Lb;");
    add_list(&d->next_obj_list, a, 1);
    add_list(&d->next_obj_list, b, 1);
    TraceCapture cap;
    std::string body;
    append_reference_listing(body, d);
    std::string t = cap.text();
    unsigned ha = a->handle, hb = b->handle;
    char buf[256];
    std::vector<std::string> in_order;
    in_order.push_back("obj1->next_obj_list->obj != NULL\nfirst children\n0 \tprint_list end\n");
    snprintf(buf, sizeof buf, "obj_d=%x\nlist_register\nadd_list: end\n2:tabs=0\nlst == ", ha);
    in_order.push_back(buf);
    snprintf(buf, sizeof buf, "next children\n%x 0 \tprint_list end\nobj_d=%x\nlist_register\nadd_list: end\nlst == ", ha, hb);
    in_order.push_back(buf);
    in_order.push_back("lst->obj == NULL\n");
    snprintf(buf, sizeof buf, "remove_1st_chidren %x\n0 %x 0 \tprint_list end\n", ha, hb);
    in_order.push_back(buf);
    snprintf(buf, sizeof buf, "remove_next_chidren %x\n0 0 0 \tprint_list end\n", hb);
    in_order.push_back(buf);
    in_order.push_back("remove_chidren\n0 0 0 \tprint_list end\n");
    size_t at = 0;
    for (const auto& piece : in_order) {
        size_t found = t.find(piece, at);
        ASSERT_NE(found, std::string::npos) << "missing after offset " << at << ": " << piece << "\nin:\n" << t;
        at = found + piece.size();
    }
    EXPECT_EQ(at, t.size());
}

}  // namespace
