#include "search_text.h"

#include <QStringList>

QRegularExpression classPattern(const QString& text)
{
    QStringList parts = text.trimmed().split('*');
    for (QString& part : parts)
        part = QRegularExpression::escape(part);
    return QRegularExpression(parts.join(QStringLiteral(".*")), QRegularExpression::CaseInsensitiveOption);
}

bool namesClass(const QString& text, const QString& name)
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return false;
    const QString simple = name.mid(name.lastIndexOf('.') + 1);
    return name.compare(wanted, Qt::CaseInsensitive) == 0 || simple.compare(wanted, Qt::CaseInsensitive) == 0;
}

std::optional<HandleText> handleIn(const QString& text)
{
    QString t = text.trimmed();
    HandleText found;
    if (t.startsWith('@')) {
        found.marked = true;
        t.remove(0, 1);
    }
    if (t.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
        t.remove(0, 2);
    if (t.isEmpty() || t.size() > 8)
        return std::nullopt;
    bool ok = false;
    const qulonglong value = t.toULongLong(&ok, 16);
    if (!ok || value == 0)  // 0 names nothing
        return std::nullopt;
    found.handle = QString::number(value, 16);
    return found;
}
