#include "snapshot_details_reader.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include "details_pane.h"
#include "display_text.h"
#include "snapshot_details.h"
#include "snapshot_queries.h"

SnapshotDetailsReader::SnapshotDetailsReader(DetailsPane* pane, QObject* parent) : QObject(parent), pane_(pane)
{
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &SnapshotDetailsReader::read);
}

void SnapshotDetailsReader::show(std::shared_ptr<const Snapshot> snapshot, quint32 object)
{
    snapshot_ = std::move(snapshot);
    object_ = object;
    const ObjectRow row = snapshot_->row(object);
    pane_->showText(tr("<h3>%1 %2</h3><p>shallow %3 bytes, retained %4 bytes</p><p style='color:gray'>reading its "
                       "fields…</p>")
                        .arg(fromWire(row.type).toHtmlEscaped(), fromWire(row.id).toHtmlEscaped(),
                             countText(static_cast<long long>(row.shallow)),
                             countText(static_cast<long long>(row.retained))));
    settle_.start();
}

void SnapshotDetailsReader::forget()
{
    settle_.stop();
    object_ = UINT32_MAX;
}

void SnapshotDetailsReader::read()
{
    if (busy_ || object_ == UINT32_MAX)
        return;  // the read under way is followed by this one when it ends
    busy_ = true;
    const std::shared_ptr<const Snapshot> snapshot = snapshot_;
    const quint32 object = object_;
    QtConcurrent::run([snapshot, object] {
        try {
            return snapshotDetailsHtml(snapshot->show(object, 0, DetailsPane::kElements));
        } catch (const std::exception& e) {
            return QStringLiteral("<p>%1</p>").arg(QString::fromStdString(e.what()).toHtmlEscaped());
        }
    }).then(this, [this, snapshot, object](const QString& html) {
        busy_ = false;
        if (object == object_ && snapshot == snapshot_) {
            pane_->showText(html);
            Q_EMIT shown(object);
        } else if (object_ != UINT32_MAX) {
            read();  // another object was selected meanwhile
        }
    });
}
