#include "heap_rows.h"

#include <array>
#include <map>
#include <utility>

#include "display_text.h"
#include "root_names.h"

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

QString simpleClassName(const std::string& className)
{
    const QString name = fromWire(className);
    return name.mid(name.lastIndexOf('.') + 1);
}

std::unique_ptr<HeapTreeItem> slotRow(const Slot& slot, bool qualify)
{
    QString name = holdName(slot.how, slot.name);
    if (qualify && slot.how == "field" && !slot.declared.empty())
        name = simpleClassName(slot.declared) + '.' + name;
    if (slot.refersToObject())
        return objectRow(slot.target, name, declaredTip(slot));
    RowCells cells{name, javaTypeText(slot.declType), fromWire(slot.value), -1, declaredTip(slot)};
    return std::make_unique<HeapTreeItem>(HeapTreeItem::Kind::value, std::move(cells));
}

std::vector<std::unique_ptr<HeapTreeItem>> slotRows(const std::vector<Slot>& slots, bool withClass)
{
    std::map<std::string, int> fieldNames;
    for (const Slot& slot : slots)
        if (slot.how == "field")
            ++fieldNames[slot.name];
    std::vector<std::unique_ptr<HeapTreeItem>> rows;
    rows.reserve(slots.size());
    for (const Slot& slot : slots)
        if (withClass || slot.how != "class")
            rows.push_back(slotRow(slot, slot.how == "field" && fieldNames[slot.name] > 1));
    return rows;
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

QString rootRowName(const GcRoot& root, const std::string& handle)
{
    if (root.kind == "thread" && !root.thread.empty())
        return fromWire(rootName(root));
    // The thread first: short, and what tells the locals of one method apart.
    if ((root.kind == "stack-local" || root.kind == "jni-local") && !root.thread.empty()) {
        const QString thread = '"' + fromWire(root.thread) + '"';
        return root.method.empty() ? thread : thread + QStringLiteral(": ") + fromWire(root.method);
    }
    return '@' + fromWire(handle);
}

std::vector<std::unique_ptr<HeapTreeItem>> pathRows(const PathReply& path)
{
    std::vector<std::unique_ptr<HeapTreeItem>> rows;
    const int heldByStatic = staticStepOfPath(path);
    std::string holderType;
    for (size_t i = 0; i < path.steps.size(); ++i) {
        const Hop& step = path.steps[i];
        QString name;
        QString tip;
        if (i == 0 && path.hasRoot) {
            name = fromWire(rootName(path.root));
            tip = QStringLiteral("the GC root: ") + name;
        } else if (step.how == "static") {
            name = QStringLiteral("static ") + fromWire(step.name);
            tip = QStringLiteral("static field of ") + fromWire(step.declared);
        } else {
            name = holdName(step.how, step.name);
            if (step.how == "field" && !step.declared.empty() && step.declared != holderType) {
                name = simpleClassName(step.declared) + '.' + name;
                tip = QStringLiteral("field of ") + fromWire(step.declared);
            }
        }
        auto row = objectRow(step.object, name, tip);
        row->setFetch(HeapTreeItem::Fetch::given);
        if (static_cast<int>(i) < heldByStatic - 1) {
            RowCells cells = row->cells();
            cells.muted = true;
            cells.tip = QStringLiteral("class loading, which keeps every loaded class: what keeps the object starts "
                                       "at the static field below");
            row->setCells(cells);
        }
        rows.push_back(std::move(row));
        holderType = step.object.type;
    }
    return rows;
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
