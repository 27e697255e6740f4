// The details pane: all of the object selected in any view, read afresh from the agent a
// moment after the selection settles, so moving through rows with the arrow keys does
// not send a request per row.
#pragma once

#include <QTextBrowser>
#include <QTimer>

#include <string>

#include "heap_source.h"

class DetailsPane : public QTextBrowser {
    Q_OBJECT

public:
    static constexpr int kSettleMs = 150;
    static constexpr long long kElements = 1000;  // an array's elements shown

    explicit DetailsPane(HeapSource* source, QWidget* parent = nullptr);

    // Shows the object with this handle; empty shows the placeholder.
    void showObject(const std::string& handle);
    // Reads the object shown again.
    void reload();
    const std::string& handle() const { return handle_; }

Q_SIGNALS:
    // The object's reply has been shown (the tests and the benchmark wait for it).
    void shown(const QString& handle);

private:
    void request();

    HeapSource* source_;
    std::string handle_;
    QTimer settle_;
    int generation_ = 0;
};
