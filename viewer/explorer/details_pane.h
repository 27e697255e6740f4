// The details pane: all of the object selected in any view, read afresh a moment after
// the selection settles, so moving through rows with the arrow keys does not send a
// request per row. A collection of the JDK shows as its entries, unless its fields were
// asked for. Every object it names is a link that opens it in the Objects view. What it
// shows can come from any source: showDetails takes the rows themselves.
#pragma once

#include <QTextBrowser>
#include <QTimer>

#include <string>

#include "heap_source.h"

class FieldsChoice;

class DetailsPane : public QTextBrowser {
    Q_OBJECT

public:
    static constexpr int kSettleMs = 150;
    static constexpr long long kElements = 1000;  // an array's elements shown
    static constexpr long long kEntries = 1000;   // a collection's entries shown

    DetailsPane(HeapSource* source, const FieldsChoice* fields, QWidget* parent = nullptr);

    // Shows the object with this handle; empty shows the placeholder.
    void showObject(const std::string& handle);
    // Reads the object shown again.
    void reload();
    const std::string& handle() const { return handle_; }
    // Shows an object read elsewhere, and the entries read of it when it is a collection.
    void showDetails(const ObjectView& view, const CollectionPage* entries = nullptr);
    // Shows a text made elsewhere (a snapshot object's), in place of any live object.
    void showText(const QString& html);

Q_SIGNALS:
    // The object's reply has been shown (the tests and the benchmark wait for it).
    void shown(const QString& handle);
    // A link to an object was followed.
    void openObject(const ObjectRef& object);

private:
    void request();
    void showEntries(const ObjectView& view, int generation);

    HeapSource* source_;
    const FieldsChoice* fields_;
    std::string handle_;
    QTimer settle_;
    int generation_ = 0;
};
