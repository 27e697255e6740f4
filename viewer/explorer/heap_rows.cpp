#include "heap_rows.h"

#include <array>
#include <utility>

#include "display_text.h"

namespace {

struct KindTitle {
    const char* kind;
    const char* title;
};

constexpr std::array<KindTitle, 7> kRootKinds{{
    {"jni-global", "JNI global"},
    {"system-class", "System class"},
    {"thread", "Thread"},
    {"stack-local", "Java stack local"},
    {"jni-local", "JNI local"},
    {"monitor", "Busy monitor"},
    {"other", "Other"},
}};

QString declaredTip(const Slot& slot)
{
    if (slot.declared.empty())
        return {};
    const QString where = slot.how == "static" ? QStringLiteral("static field of ") : QStringLiteral("field of ");
    QString tip = where + fromWire(slot.declared);
    if (!slot.declType.empty())
        tip += QStringLiteral(", declared ") + javaTypeText(slot.declType);
    return tip;
}

// The preview, or the handle when the row's name does not show it already.
QString valueFor(const ObjectRef& ref, const QString& name)
{
    if (ref.preview.empty() && name == '@' + fromWire(ref.handle))
        return {};
    return referenceValue(ref);
}

}  // namespace

QString referenceValue(const ObjectRef& ref)
{
    if (!ref.preview.empty())
        return fromWire(ref.preview);
    return '@' + fromWire(ref.handle);
}

QString holdName(const std::string& how, const std::string& name)
{
    if (how == "field" || how == "static")
        return fromWire(name);
    if (how == "element")
        return '[' + fromWire(name) + ']';
    if (how == "pool")
        return QStringLiteral("<constant pool #") + fromWire(name) + '>';
    if (how == "super")
        return QStringLiteral("<superclass>");
    if (how == "loader")
        return QStringLiteral("<class loader>");
    if (how == "domain")
        return QStringLiteral("<protection domain>");
    if (how == "root")
        return QStringLiteral("<held by the root>");
    return '<' + fromWire(how) + '>';  // class, interface, signers, other
}

QString rootKindTitle(const std::string& kind)
{
    for (const KindTitle& k : kRootKinds)
        if (kind == k.kind)
            return QString::fromLatin1(k.title);
    return fromWire(kind);
}

int rootKindOrder(const std::string& kind)
{
    for (size_t i = 0; i < kRootKinds.size(); ++i)
        if (kind == kRootKinds[i].kind)
            return static_cast<int>(i);
    return static_cast<int>(kRootKinds.size());
}

std::unique_ptr<HeapTreeItem> objectRow(const ObjectRef& ref, QString name, QString tip)
{
    QString value = valueFor(ref, name);
    RowCells cells{std::move(name), javaTypeText(ref.type), std::move(value), ref.size, std::move(tip)};
    auto item = std::make_unique<HeapTreeItem>(HeapTreeItem::Kind::object, std::move(cells), ref.handle);
    item->setWireType(ref.type);
    return item;
}

std::unique_ptr<HeapTreeItem> slotRow(const Slot& slot)
{
    const QString name = holdName(slot.how, slot.name);
    if (slot.refersToObject())
        return objectRow(slot.target, name, declaredTip(slot));
    RowCells cells{name, javaTypeText(slot.declType), fromWire(slot.value), -1, declaredTip(slot)};
    return std::make_unique<HeapTreeItem>(HeapTreeItem::Kind::value, std::move(cells));
}

std::unique_ptr<HeapTreeItem> hopRow(const Hop& hop)
{
    QString tip;
    if (!hop.declared.empty())
        tip = (hop.how == "static" ? QStringLiteral("static field of ") : QStringLiteral("field of ")) +
              fromWire(hop.declared);
    return objectRow(hop.object, holdName(hop.how, hop.name), tip);
}

std::unique_ptr<HeapTreeItem> gcRootRow(const GcRoot& root)
{
    QString where = fromWire(root.thread);
    if (!root.method.empty())
        where += (where.isEmpty() ? QString() : QStringLiteral(" in ")) + fromWire(root.method);
    RowCells cells{QStringLiteral("GC root: ") + rootKindTitle(root.kind), {}, where, -1,
                   where.isEmpty() ? QString() : QStringLiteral("thread ") + where};
    return std::make_unique<HeapTreeItem>(HeapTreeItem::Kind::gcRoot, std::move(cells));
}

std::unique_ptr<HeapTreeItem> noteRow(QString text, QString tip)
{
    return std::make_unique<HeapTreeItem>(HeapTreeItem::Kind::note, RowCells{std::move(text), {}, {}, -1, std::move(tip)});
}

RowCells refreshedCells(const RowCells& old, const ObjectRef& object)
{
    RowCells cells = old;
    if (!object.type.empty())
        cells.type = javaTypeText(object.type);
    if (object.size >= 0)
        cells.size = object.size;
    cells.value = valueFor(object, cells.name);
    return cells;
}

QString objectTitle(const ObjectRef& object)
{
    return javaTypeText(object.type) + QStringLiteral(" @") + fromWire(object.handle);
}
