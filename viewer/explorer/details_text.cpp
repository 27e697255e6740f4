#include "details_text.h"

#include <QStringList>
#include <QUrlQuery>

#include <algorithm>
#include <map>

#include "collection_rows.h"
#include "display_text.h"
#include "heap_rows.h"

namespace {

constexpr const char* kScheme = "vorlan-object";

QString escaped(const std::string& text)
{
    return fromWire(text).toHtmlEscaped();
}

QString link(const ObjectRef& object)
{
    return QStringLiteral("<a href='") + objectLink(object).toString(QUrl::FullyEncoded).toHtmlEscaped() +
           QStringLiteral("'>@") + escaped(object.handle) + QStringLiteral("</a>");
}

// An object in a cell: its preview, if it has one, and its handle as a link.
QString objectCell(const ObjectRef& object)
{
    if (object.handle.empty())
        return QStringLiteral("null");
    if (object.preview.empty())
        return link(object);
    return escaped(object.preview) + ' ' + link(object);
}

bool isPrimitiveElement(const Slot& slot)
{
    return slot.how == "element" && !slot.refersToObject() && slot.value != "null";
}

QString valueCell(const Slot& slot)
{
    return slot.refersToObject() ? objectCell(slot.target) : escaped(slot.value);
}

// A reference's type is the object's own; a primitive's or a null's the declared one.
QString typeCell(const Slot& slot)
{
    return javaTypeText(slot.refersToObject() ? slot.target.type : slot.declType).toHtmlEscaped();
}

// Fields of the object's own class go without saying; inherited ones name their class.
// Fields that share a name (one shadows the other) are named by their class, too.
QString slotTable(const std::vector<const Slot*>& slots, const std::string& ownType)
{
    std::map<std::string, int> fieldNames;
    for (const Slot* slot : slots)
        if (slot->how == "field")
            ++fieldNames[slot->name];
    QString html = QStringLiteral("<table cellspacing='0' cellpadding='2'>");
    for (const Slot* slot : slots) {
        QString name = holdName(slot->how, slot->name).toHtmlEscaped();
        if (slot->how == "field" && fieldNames[slot->name] > 1 && !slot->declared.empty())
            name = simpleClassName(slot->declared).toHtmlEscaped() + '.' + name;
        name = QStringLiteral("<b>") + name + QStringLiteral("</b>");
        if (!slot->declared.empty() && slot->declared != ownType)
            name += QStringLiteral("<br><span style='color:#777'>from ") + escaped(slot->declared) +
                    QStringLiteral("</span>");
        html += QStringLiteral("<tr><td>") + name + QStringLiteral("</td><td style='color:#666'>") + typeCell(*slot) +
                QStringLiteral("</td><td>") + valueCell(*slot) + QStringLiteral("</td></tr>");
    }
    return html + QStringLiteral("</table>");
}

QString entriesHtml(const CollectionPage& page)
{
    QString html = QStringLiteral("<p>") + collectionSizeText(page).toHtmlEscaped();
    if (!page.unwrapped.empty())
        html += QStringLiteral("<br><span style='color:#777'>") + unwrappedText(page).toHtmlEscaped() +
                QStringLiteral("</span>");
    html += QStringLiteral("</p>");
    const bool map = page.shape == CollectionShape::map;
    html += QStringLiteral("<p><b>") + (map ? QStringLiteral("entries") : QStringLiteral("elements")) +
            QStringLiteral("</b>");
    const long long shown = static_cast<long long>(page.entries.size());
    if (!page.complete && shown > 0)
        html += QStringLiteral(" 1 to %1 of %2; the Objects view lists them all, a page at a time")
                    .arg(countText(shown), countText(page.size));
    html += QStringLiteral("</p><table cellspacing='0' cellpadding='2'>");
    for (const CollectionEntry& entry : page.entries) {
        html += QStringLiteral("<tr><td style='color:#777'>[") + countText(entry.position) + QStringLiteral("]</td><td>") +
                objectCell(entry.key) + QStringLiteral("</td>");
        if (map)
            html += QStringLiteral("<td>→</td><td>") + objectCell(entry.value) + QStringLiteral("</td>");
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    if (page.entries.empty())
        html += QStringLiteral("<p style='color:#666'>empty</p>");
    return html + QStringLiteral("<p style='color:#777'>Show internals (Ctrl+I) shows its fields instead.</p>");
}

}  // namespace

QUrl objectLink(const ObjectRef& object)
{
    QUrl url;
    url.setScheme(QLatin1String(kScheme));
    url.setPath(fromWire(object.handle));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("type"), fromWire(object.type));
    url.setQuery(query);
    return url;
}

std::optional<ObjectRef> linkedObject(const QUrl& link)
{
    if (link.scheme() != QLatin1String(kScheme) || link.path().isEmpty())
        return std::nullopt;
    ObjectRef object;
    object.handle = link.path().toStdString();
    object.type = QUrlQuery(link).queryItemValue(QStringLiteral("type"), QUrl::FullyDecoded).toStdString();
    return object;
}

QString detailsPlaceholderHtml(const QString& text)
{
    return QStringLiteral("<p style='color:#666'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

QString detailsHtml(const ObjectView& view, const CollectionPage* entries)
{
    const ObjectRef& object = view.object;
    QString html = QStringLiteral("<h3>") + javaTypeText(object.type).toHtmlEscaped() + QStringLiteral(" @") +
                   escaped(object.handle) + QStringLiteral("</h3><p>");
    if (object.size >= 0)
        html += countText(object.size) + QStringLiteral(" bytes shallow");
    if (view.length >= 0)
        html += QStringLiteral(" · length ") + countText(view.length);
    html += QStringLiteral("</p>");

    if (entries && entries->read)
        return html + entriesHtml(*entries);
    if (entries && !entries->note.empty())
        html += QStringLiteral("<p style='color:#8a4b00'>") + escaped(entries->note) + QStringLiteral("</p>");

    if (view.hasText)
        html += QStringLiteral("<p><b>text</b> (") + countText(fromWire(view.text).size()) +
                QStringLiteral(" characters)</p><pre style='white-space:pre-wrap'>") + escaped(view.text) +
                QStringLiteral("</pre>");

    std::vector<const Slot*> elements;
    std::vector<const Slot*> others;
    for (const Slot& slot : view.contents)
        (slot.how == "element" ? elements : others).push_back(&slot);

    if (!others.empty())
        html += slotTable(others, object.type);

    if (!elements.empty()) {
        const long long first = std::max(0LL, figureCount(view.figures, "offset", 0));
        const long long shown = static_cast<long long>(elements.size());
        html += QStringLiteral("<p><b>elements</b>");
        if (view.length > shown)
            html += QStringLiteral(" %1 to %2 of %3").arg(countText(first), countText(first + shown - 1),
                                                          countText(view.length));
        html += QStringLiteral("</p>");
        if (std::all_of(elements.begin(), elements.end(), [](const Slot* s) { return isPrimitiveElement(*s); })) {
            QStringList values;
            values.reserve(static_cast<qsizetype>(elements.size()));
            for (const Slot* slot : elements)
                values << fromWire(slot->value);
            html += QStringLiteral("<pre style='white-space:pre-wrap'>") + values.join(QStringLiteral(", ")).toHtmlEscaped() +
                    QStringLiteral("</pre>");
        } else {
            html += slotTable(elements, object.type);
        }
    }
    return html;
}
