#include "type_name_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStringList>
#include <QStyle>

QString shortenTypeName(const QString& name, const std::function<bool(const QString&)>& fits)
{
    if (fits(name))
        return name;
    // Every segment but the last is the package's; the last (with a nested class's '$'
    // and an array's "[]") stays whole.
    QStringList segments = name.split('.');
    for (int i = 0; i + 1 < segments.size(); ++i) {
        if (segments[i].size() <= 1)
            continue;
        segments[i] = segments[i].left(1);
        const QString shorter = segments.join('.');
        if (fits(shorter))
            return shorter;
    }
    return segments.join('.');
}

QString TypeNameDelegate::shownText(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    // The style keeps a margin on each side of an item's text.
    const int room = textRect.width() - 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1);
    return shortenTypeName(opt.text, [&](const QString& text) { return opt.fontMetrics.horizontalAdvance(text) <= room; });
}

void TypeNameDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text = shownText(option, index);
    opt.textElideMode = Qt::ElideMiddle;
    const QWidget* widget = opt.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
}
