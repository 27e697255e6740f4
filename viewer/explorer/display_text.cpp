#include "display_text.h"

#include <QLocale>

#include "type_names.h"

QString countText(long long value)
{
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(value);
}

QString shareText(double fraction)
{
    if (fraction <= 0)
        return QStringLiteral("0 %");
    if (fraction < 0.001)
        return QStringLiteral("< 0.1 %");
    return QString::number(fraction * 100, 'f', 1) + QStringLiteral(" %");
}

QString bytesText(long long bytes)
{
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024)
        return countText(bytes) + QStringLiteral(" B");
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QString::number(value, 'f', value < 10 ? 1 : 0) + ' ' + QLatin1String(units[unit]);
}

QString durationText(double ms)
{
    if (ms < 0)
        return QStringLiteral("?");
    if (ms < 10)
        return QString::number(ms, 'f', 1) + QStringLiteral(" ms");
    if (ms < 1000)
        return QString::number(ms, 'f', 0) + QStringLiteral(" ms");
    return QString::number(ms / 1000, 'f', 1) + QStringLiteral(" s");
}

QString fromWire(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString javaTypeText(const std::string& wireType)
{
    return fromWire(prettyTypeName(wireType));
}

