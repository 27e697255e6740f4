#include "explorer_settings.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QSettings>
#include <QSplitter>

namespace {

constexpr const char* kOrganization = "Vorlan";
constexpr const char* kApplication = "explorer";

}  // namespace

void saveLayout(const RememberedLayout& layout)
{
    QSettings settings(QSettings::UserScope, QLatin1String(kOrganization), QLatin1String(kApplication));
    settings.setValue(QStringLiteral("window/geometry"), layout.window->saveGeometry());
    for (const auto& [key, header] : layout.headers)
        settings.setValue(QStringLiteral("columns/") + key, header->saveState());
    for (const auto& [key, splitter] : layout.splitters)
        settings.setValue(QStringLiteral("splitters/") + key, splitter->saveState());
}

bool restoreLayout(const RememberedLayout& layout)
{
    QSettings settings(QSettings::UserScope, QLatin1String(kOrganization), QLatin1String(kApplication));
    const QByteArray geometry = settings.value(QStringLiteral("window/geometry")).toByteArray();
    if (geometry.isEmpty())
        return false;
    layout.window->restoreGeometry(geometry);
    for (const auto& [key, header] : layout.headers)
        header->restoreState(settings.value(QStringLiteral("columns/") + key).toByteArray());
    for (const auto& [key, splitter] : layout.splitters)
        splitter->restoreState(settings.value(QStringLiteral("splitters/") + key).toByteArray());
    return true;
}
