// Type names shortened in the middle when their column is too narrow for them: the
// package's segments cut to their first letter from the left
// (o.a.catalina.session.StandardSession), so that the class's own name stays whole and
// three classes of one package still read apart. The whole name is in the tooltip.
#pragma once

#include <QStyledItemDelegate>

#include <functional>

class TypeNameDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The text painted for index in a cell of option's rect.
    QString shownText(const QStyleOptionViewItem& option, const QModelIndex& index) const;
};

// name with its package segments cut to their first letter, from the left, until fits
// says it fits; the name unchanged when it fits as it is. Once every segment is cut it
// is returned so, fitting or not (the painter then elides it in the middle).
QString shortenTypeName(const QString& name, const std::function<bool(const QString&)>& fits);
