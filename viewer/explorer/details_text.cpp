#include "details_text.h"

#include <QStringList>

#include <algorithm>

#include "display_text.h"
#include "heap_rows.h"

namespace {

QString escaped(const std::string& text)
{
    return fromWire(text).toHtmlEscaped();
}

bool isPrimitiveElement(const Slot& slot)
{
    return slot.how == "element" && !slot.refersToObject() && slot.value != "null";
}

QString valueCell(const Slot& slot)
{
    return slot.refersToObject() ? referenceValue(slot.target).toHtmlEscaped() : escaped(slot.value);
}

// A reference's type is the object's own; a primitive's or a null's the declared one.
QString typeCell(const Slot& slot)
{
    return javaTypeText(slot.refersToObject() ? slot.target.type : slot.declType).toHtmlEscaped();
}

// Fields of the object's own class go without saying; inherited ones name their class.
QString slotTable(const std::vector<const Slot*>& slots, const std::string& ownType)
{
    QString html = QStringLiteral("<table cellspacing='0' cellpadding='2'>");
    for (const Slot* slot : slots) {
        QString name = QStringLiteral("<b>") + holdName(slot->how, slot->name).toHtmlEscaped() + QStringLiteral("</b>");
        if (!slot->declared.empty() && slot->declared != ownType)
            name += QStringLiteral("<br><span style='color:#777'>from ") + escaped(slot->declared) +
                    QStringLiteral("</span>");
        html += QStringLiteral("<tr><td>") + name + QStringLiteral("</td><td style='color:#666'>") + typeCell(*slot) +
                QStringLiteral("</td><td>") + valueCell(*slot) + QStringLiteral("</td></tr>");
    }
    return html + QStringLiteral("</table>");
}

}  // namespace

QString detailsPlaceholderHtml(const QString& text)
{
    return QStringLiteral("<p style='color:#666'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

QString detailsHtml(const ObjectView& view)
{
    const ObjectRef& object = view.object;
    QString html = QStringLiteral("<h3>") + javaTypeText(object.type).toHtmlEscaped() + QStringLiteral(" @") +
                   escaped(object.handle) + QStringLiteral("</h3><p>");
    if (object.size >= 0)
        html += countText(object.size) + QStringLiteral(" bytes shallow");
    if (view.length >= 0)
        html += QStringLiteral(" · length ") + countText(view.length);
    html += QStringLiteral("</p>");

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
