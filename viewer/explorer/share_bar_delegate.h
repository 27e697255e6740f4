// The "% of heap" cell with a bar drawn under its text, as long as the share is of the
// cell, so the few rows that hold most of the memory stand out at a glance.
#pragma once

#include <QStyledItemDelegate>

class ShareBarDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // shareRole: the model's role giving the share as a double from 0 to 1.
    ShareBarDelegate(int shareRole, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int shareRole_;
};
