#include "share_bar_delegate.h"

#include <QPainter>

#include <algorithm>

ShareBarDelegate::ShareBarDelegate(int shareRole, QObject* parent) : QStyledItemDelegate(parent), shareRole_(shareRole) {}

void ShareBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QVariant share = index.data(shareRole_);
    if (share.isValid()) {
        const double fraction = std::clamp(share.toDouble(), 0.0, 1.0);
        QRect bar = option.rect.adjusted(2, 3, -2, -3);
        bar.setWidth(static_cast<int>(bar.width() * fraction));
        if (bar.width() > 0) {
            painter->save();
            QColor color = option.palette.highlight().color();
            color.setAlpha(70);
            painter->fillRect(bar, color);
            painter->restore();
        }
    }
    QStyledItemDelegate::paint(painter, option, index);
}
