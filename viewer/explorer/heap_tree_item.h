// One row of a heap tree (the Objects, Referrers and Path views): a group heading, an
// object that can be opened, a primitive value, a GC root, a map's entry (its key and
// value under it), a note, or the "more" row of a paged parent. Owns its children, as
// the item of Qt's simpletreemodel does.
#pragma once

#include <QString>

#include <memory>
#include <string>
#include <vector>

// What the row shows, one text per column.
struct RowCells {
    QString name;          // field name, [index], root kind, group title
    QString type;          // the Java type as written: java.lang.String, int[]
    QString value;         // primitive value, preview, "null"
    long long size = -1;   // shallow size in bytes; -1 shows nothing
    QString tip;           // declaring class, root thread and method, what a note is about
    bool muted = false;    // shown greyed: already shown above, or of little interest
};

class HeapTreeItem {
public:
    enum class Kind { group, object, value, gcRoot, entry, note, more };
    // What an object row opens to: its fields (elements, statics), or a collection's
    // entries as a Java program iterating it sees them.
    enum class Reading { fields, entries };
    // How far an object's children have come from the agent.
    enum class Fetch {
        given,    // a leaf, or children given up front: nothing to fetch
        notYet,
        pending,  // a request is out
        partial,  // a paged array or referrer list with more to come
        done,
        failed,   // the last request failed; its note is the only child
    };

    HeapTreeItem(Kind kind, RowCells cells, std::string handle = {});

    Kind kind() const { return kind_; }
    const RowCells& cells() const { return cells_; }
    void setCells(RowCells cells) { cells_ = std::move(cells); }
    // The object's handle; empty for rows that are no object.
    const std::string& handle() const { return handle_; }
    // The object's type in the wire's Class.getName() form.
    const std::string& wireType() const { return wireType_; }
    void setWireType(std::string type) { wireType_ = std::move(type); }

    Fetch fetch() const { return fetch_; }
    void setFetch(Fetch fetch) { fetch_ = fetch; }
    Reading reading() const { return reading_; }
    void setReading(Reading reading) { reading_ = reading; }
    // Counts the requests made for the row: a reply that answers an earlier one than the
    // last is dropped.
    int asks() const { return asks_; }
    int nextAsk() { return ++asks_; }
    // Paged parents: how many elements or referrers are listed, and how many there are.
    long long listed() const { return listed_; }
    long long total() const { return total_; }
    void setPaging(long long listed, long long total)
    {
        listed_ = listed;
        total_ = total;
    }

    // Whether the last child only stands in for rows on their way ("loading…", "more").
    bool hasStandIn() const { return standIn_; }
    void setStandIn(bool standIn) { standIn_ = standIn; }

    HeapTreeItem* parent() const { return parent_; }
    int row() const { return row_; }
    int childCount() const { return static_cast<int>(children_.size()); }
    HeapTreeItem* child(int row) const;
    HeapTreeItem* lastChild() const { return children_.empty() ? nullptr : children_.back().get(); }

    HeapTreeItem* appendChild(std::unique_ptr<HeapTreeItem> child);
    HeapTreeItem* insertChild(int row, std::unique_ptr<HeapTreeItem> child);
    void removeChildren(int first, int count);

private:
    Kind kind_;
    RowCells cells_;
    std::string handle_;
    std::string wireType_;
    Fetch fetch_ = Fetch::given;
    Reading reading_ = Reading::fields;
    int asks_ = 0;
    long long listed_ = 0;
    long long total_ = -1;
    bool standIn_ = false;
    HeapTreeItem* parent_ = nullptr;
    int row_ = 0;
    std::vector<std::unique_ptr<HeapTreeItem>> children_;
};
