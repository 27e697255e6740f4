#include "object_roles.h"

std::optional<ObjectRef> objectAt(const QModelIndex& index)
{
    if (!index.isValid())
        return std::nullopt;
    const QString handle = index.siblingAtColumn(0).data(HandleRole).toString();
    if (handle.isEmpty())
        return std::nullopt;
    ObjectRef object;
    object.handle = handle.toStdString();
    object.type = index.siblingAtColumn(0).data(WireTypeRole).toString().toStdString();
    return object;
}
