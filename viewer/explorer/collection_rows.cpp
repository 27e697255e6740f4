#include "collection_rows.h"

#include <QStringList>

#include "display_text.h"
#include "heap_rows.h"

namespace {

// A key's, value's or element's row: the object, or a null's value row.
std::unique_ptr<HeapTreeItem> referenceRow(const ObjectRef& object, QString name, QString tip = {})
{
    if (object.handle.empty())
        return std::make_unique<HeapTreeItem>(HeapTreeItem::Kind::value,
                                              RowCells{std::move(name), {}, QStringLiteral("null"), -1, std::move(tip)});
    return objectRow(object, std::move(name), std::move(tip));
}

QString described(const ObjectRef& object)
{
    if (object.handle.empty())
        return QStringLiteral("null");
    return javaTypeText(object.type) + QStringLiteral(" @") + fromWire(object.handle);
}

QString holderTip(const CollectionEntry& entry)
{
    return entry.holder.empty() ? QString() : QStringLiteral("\nheld by the node @") + fromWire(entry.holder);
}

}  // namespace

QString entryText(const ObjectRef& object)
{
    if (object.handle.empty())
        return QStringLiteral("null");
    if (!object.preview.empty())
        return fromWire(object.preview);
    const QString type = javaTypeText(object.type);
    return type.mid(type.lastIndexOf('.') + 1) + QStringLiteral(" @") + fromWire(object.handle);
}

std::unique_ptr<HeapTreeItem> entryRow(const CollectionEntry& entry)
{
    const QString tip = QStringLiteral("entry %1: key %2, value %3").arg(countText(entry.position),
                                                                          described(entry.key), described(entry.value)) +
                        holderTip(entry);
    auto row = std::make_unique<HeapTreeItem>(
        HeapTreeItem::Kind::entry,
        RowCells{entryText(entry.key) + QStringLiteral(" → ") + entryText(entry.value), {}, {}, -1, tip});
    row->appendChild(referenceRow(entry.key, QStringLiteral("key")));
    row->appendChild(referenceRow(entry.value, QStringLiteral("value")));
    return row;
}

std::unique_ptr<HeapTreeItem> elementRow(const CollectionEntry& entry)
{
    const QString name = '[' + countText(entry.position) + ']';
    const QString tip = entry.holder.empty() ? QString() : QStringLiteral("held by the node @") + fromWire(entry.holder);
    return referenceRow(entry.key, name, tip);
}

std::vector<std::unique_ptr<HeapTreeItem>> collectionRows(const CollectionPage& page)
{
    std::vector<std::unique_ptr<HeapTreeItem>> rows;
    rows.reserve(page.entries.size() + 2);
    if (page.offset == 0 && !page.unwrapped.empty())
        rows.push_back(noteRow(unwrappedText(page), QStringLiteral("Show internals (Ctrl+I) shows the wrapper's fields")));
    for (const CollectionEntry& entry : page.entries)
        rows.push_back(page.shape == CollectionShape::map ? entryRow(entry) : elementRow(entry));
    if (page.offset == 0 && page.size == 0 && page.entries.empty())
        rows.push_back(noteRow(QStringLiteral("empty"), QStringLiteral("Show internals (Ctrl+I) shows its fields")));
    return rows;
}

QString collectionSizeText(const CollectionPage& page)
{
    QString text = QStringLiteral("size ") + countText(page.size);
    if (page.capacity >= 0)
        text += QStringLiteral(", capacity ") + countText(page.capacity);
    return text;
}

QString unwrappedText(const CollectionPage& page)
{
    QStringList wrappers;
    for (const std::string& wrapper : page.unwrapped)
        wrappers << fromWire(wrapper);
    return QStringLiteral("the entries of the %1 @%2, read through %3")
        .arg(javaTypeText(page.kind), fromWire(page.handle), wrappers.join(QStringLiteral(", then ")));
}

bool isCollectionInternal(const std::string& type)
{
    std::string element = type;
    if (element.rfind("[L", 0) == 0 && element.back() == ';')
        element = element.substr(2, element.size() - 3);  // an array of nodes is a table
    if (element == "java.lang.Object")
        return type != element;  // Object[]: ArrayList's elementData, ArrayDeque's, List.of's...
    if (element.rfind("java.util.", 0) != 0 || element.find('$') == std::string::npos)
        return false;
    for (const char* end : {"Node", "Entry", "TreeBin"})
        if (element.size() >= std::char_traits<char>::length(end) &&
            element.compare(element.size() - std::char_traits<char>::length(end), std::string::npos, end) == 0)
            return true;
    return false;
}
