#include "snapshot_details.h"

#include "display_text.h"

namespace {

QString escaped(const std::string& text)
{
    return fromWire(text).toHtmlEscaped();
}

QString objectCell(const ObjectRow& row)
{
    QString text = escaped(row.id);
    if (!row.preview.empty())
        text = escaped(row.preview) + ' ' + text;
    return text + QStringLiteral(" <span style='color:gray'>(%1, retained %2)</span>")
                      .arg(escaped(row.type), bytesText(static_cast<long long>(row.retained)));
}

}  // namespace

QString snapshotDetailsHtml(const ObjectReply& reply)
{
    const ObjectRow& o = reply.object;
    QString html = QStringLiteral("<h3>%1 %2</h3>").arg(escaped(o.type), escaped(o.id));
    html += QStringLiteral("<p>address %1<br>shallow %2 bytes, retained %3 bytes (%4 of the heap)")
                .arg(escaped(reply.address), countText(static_cast<long long>(o.shallow)),
                     countText(static_cast<long long>(o.retained)), shareText(o.share));
    if (reply.dominator.object != UINT32_MAX)
        html += QStringLiteral("<br>dominated by %1").arg(objectCell(reply.dominator));
    else if (reply.dominatedByRoots)
        html += QStringLiteral("<br>held by the GC roots together");
    else if (!o.reachable)
        html += QStringLiteral("<br>not reachable through strong references");
    if (reply.length >= 0)
        html += QStringLiteral("<br>length %1").arg(countText(reply.length));
    html += QStringLiteral("</p>");
    if (reply.hasText)
        html += QStringLiteral("<p><b>text</b> “%1”</p>").arg(escaped(reply.text));
    if (!reply.slots.empty()) {
        html += QStringLiteral("<table cellspacing='0' cellpadding='2'>");
        for (const ObjectSlot& slot : reply.slots) {
            QString name = escaped(slot.name);
            if (slot.how == "element")
                name = '[' + name + ']';
            else if (slot.how != "field")
                name = escaped(slot.how) + (slot.name.empty() ? QString() : ' ' + name);
            QString value = slot.target.object != UINT32_MAX ? objectCell(slot.target) : escaped(slot.value);
            if (slot.weak)
                value += QStringLiteral(" <i>(weak)</i>");
            html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td></tr>")
                        .arg(name, escaped(slot.declaredType), value);
        }
        html += QStringLiteral("</table>");
        if (reply.elements > reply.elementOffset + reply.slots.size() && reply.length >= 0)
            html += QStringLiteral("<p><i>the first %1 of %2 elements</i></p>")
                        .arg(countText(static_cast<long long>(reply.slots.size())),
                             countText(static_cast<long long>(reply.elements)));
    }
    for (const std::string& note : reply.notes)
        html += QStringLiteral("<p style='color:gray'>%1</p>").arg(escaped(note));
    return html;
}
