#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "listing.h"
#include "object_details.h"
#include "trace_capture.h"

namespace {

// Descriptors for the lists under test; they live for the whole run.
DescriptorRegistry& test_registry()
{
    static DescriptorRegistry r;
    return r;
}

ObjectDetails* make(const char* signature)
{
    ObjectDetails* d = test_registry().new_object_descriptor();
    d->signature = test_registry().intern_signature(signature);
    return d;
}

std::string line_of(const ObjectDetails* d)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%x ", d->handle);
    return buf + std::string(d->signature) + " \n";
}

std::string roots_text(const RootList& roots, int kind)
{
    Listing l;
    collect_root_listing(l, roots, kind);
    EXPECT_EQ(l.length, listing_text(l).size());
    return listing_text(l);
}

std::string references_text(ObjectDetails* d)
{
    Listing l;
    collect_reference_listing(l, d);
    EXPECT_EQ(l.length, listing_text(l).size());
    return listing_text(l);
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
    EXPECT_EQ(roots_text(roots, 1), line_of(c) + line_of(a));
    EXPECT_EQ(roots_text(roots, 0), line_of(c) + line_of(b) + line_of(a));
    EXPECT_EQ(roots_text(roots, -1), "");
    c->root_kind = 2;  // a later report under another kind decides
    EXPECT_EQ(roots_text(roots, 1), line_of(a));
}

TEST(ReferenceListing, OneLinePerEntryInListOrderIncludingItself)
{
    ObjectDetails* self = make("LHolder;");
    ObjectDetails* s = make("Ljava/lang/String;");
    ObjectDetails* ints = make("[I");
    add_list(&list_of(self), s, 1);
    add_list(&list_of(self), self, 1);
    add_list(&list_of(self), ints, 1);
    add_list(&list_of(self), s, 1);
    std::string body = references_text(self);
    EXPECT_EQ(body, line_of(s) + line_of(self) + line_of(ints));
    // Listing again gives the same text.
    EXPECT_EQ(references_text(self), body);
}

TEST(ReferenceListing, CopiesInTheListAreListedOnceWithOrWithoutTrace)
{
    ObjectDetails* d = make("LHolder;");
    ObjectDetails* a = make("La;");
    ObjectDetails* b = make("Lb;");
    add_list(&list_of(d), a, 0);
    add_list(&list_of(d), b, 0);
    add_list(&list_of(d), a, 0);
    for (int debug : {-1, 1}) {
        TraceCapture cap(debug);
        EXPECT_EQ(references_text(d), line_of(a) + line_of(b)) << debug;
    }
}

TEST(WriteListing, HandsTheBodyOverInBoundedPiecesInOrder)
{
    Listing l;
    std::string expected;
    for (int i = 0; i < 5000; i++) {
        ObjectDetails* d = make(i % 2 ? "Ljava/lang/Object;" : "[I");
        l.add(d);
        expected += line_of(d);
    }
    ObjectDetails* huge = make(("L" + std::string(100000, 'x') + ";").c_str());
    l.add(huge);
    expected += line_of(huge);
    l.add(make("Z"));
    expected += line_of(l.entries.back());

    std::string got;
    size_t pieces = 0, longest = 0;
    EXPECT_TRUE(write_listing(l, [&](const char* data, size_t n) {
        got.append(data, n);
        pieces++;
        longest = std::max(longest, n);
        return true;
    }));
    EXPECT_EQ(got, expected);
    EXPECT_EQ(l.length, expected.size());
    EXPECT_GE(pieces, 4u);
    EXPECT_EQ(longest, line_of(huge).size());  // only a line too long for the buffer goes alone

    size_t calls = 0;
    EXPECT_FALSE(write_listing(l, [&](const char*, size_t) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2u);  // stops at the first refusal
}

TEST(ReferenceListing, EmptyListGivesEmptyBody)
{
    ObjectDetails* d = make("LEmpty;");
    TraceCapture cap;
    EXPECT_EQ(references_text(d), "");
    std::string t = cap.text();
    EXPECT_EQ(t.rfind("obj1->next_obj_list == ", 0), 0u);
    EXPECT_EQ(t.substr(t.find('\n') + 1), "obj1->next_obj_list->obj == NULL\n");
}

TEST(ReferenceListing, TraceDocumentsTheVisitedListAndItsDraining)
{
    ObjectDetails* d = make("LHolder;");
    ObjectDetails* a = make("La;");
    ObjectDetails* b = make("Lb;");
    add_list(&list_of(d), a, 1);
    add_list(&list_of(d), b, 1);
    TraceCapture cap;
    references_text(d);
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
