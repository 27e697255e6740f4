// The Classes view: the histogram as a table sorted and filtered by a
// QSortFilterProxyModel (names case ignored, `*` for any run of characters), and under
// it the instances of the class opened (Enter or a double click), which a text can
// narrow to those holding it, sorted by any column; they open in turn in the Objects view.
#pragma once

#include "explorer_page.h"

class AgentHeapSource;
class HistogramModel;
class InstanceListModel;
class QLabel;
class QLineEdit;
class QModelIndex;
class QSortFilterProxyModel;
class QSplitter;
class QTableView;

class ClassesPage : public ExplorerPage {
    Q_OBJECT

public:
    explicit ClassesPage(AgentHeapSource* source, QWidget* parent = nullptr);

    // Counts the heap by class afresh.
    void refreshHistogram();
    void setHistogram(Histogram histogram);
    void clear();
    // Keeps the classes whose name contains text, ignoring case, `*` standing for any
    // run of characters.
    void setFilter(const QString& text);
    // The classes the filter leaves.
    int shownClasses() const;
    // Opens the class the filter names exactly (its full or simple name, ignoring case),
    // else the one in the table's first row; false when the filter leaves none.
    bool openBestMatch();
    // Lists the instances of the class at the table's row (those holding the instance
    // filter's text, when it has one).
    void openClass(const QModelIndex& proxyIndex);
    // Lists the instances of the class listed again, keeping those that hold text.
    void findHolding(const QString& text);

    QList<QAbstractItemView*> views() const override;
    // The histogram afresh, and the instances of the class listed.
    void refresh() override;
    void forgetHandles() override;
    void rememberLayout(RememberedLayout& layout) override;

    QTableView* classTable() const { return classes_; }
    QTableView* instanceTable() const { return instances_; }
    QLineEdit* instanceFilter() const { return holding_; }
    QSplitter* splitter() const { return splitter_; }
    HistogramModel* histogramModel() const { return histogram_; }
    QSortFilterProxyModel* sortedClasses() const { return sorted_; }
    InstanceListModel* instanceModel() const { return instanceModel_; }

Q_SIGNALS:
    // The histogram's rows are shown (tests and the benchmark wait for it).
    void histogramShown();

private:
    void openInstance(const QModelIndex& index);
    void showSummary();

    AgentHeapSource* source_;
    HistogramModel* histogram_;
    QSortFilterProxyModel* sorted_;
    InstanceListModel* instanceModel_;
    QTableView* classes_;
    QTableView* instances_;
    QLabel* summary_;
    QLabel* instancesTitle_;
    QLineEdit* holding_;
    QSplitter* splitter_;
    QString filter_;
};
