#include "details_pane.h"

#include <QPointer>

#include "details_text.h"
#include "display_text.h"

DetailsPane::DetailsPane(HeapSource* source, QWidget* parent) : QTextBrowser(parent), source_(source)
{
    setObjectName(QStringLiteral("details"));
    setOpenLinks(false);
    setHtml(detailsPlaceholderHtml(tr("Select an object to see all of it here.")));
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &DetailsPane::request);
}

void DetailsPane::showObject(const std::string& handle)
{
    if (handle == handle_)
        return;
    handle_ = handle;
    ++generation_;
    if (handle_.empty()) {
        settle_.stop();
        setHtml(detailsPlaceholderHtml(tr("Select an object to see all of it here.")));
        return;
    }
    settle_.start();
}

void DetailsPane::reload()
{
    if (!handle_.empty()) {
        ++generation_;
        settle_.start();
    }
}

void DetailsPane::request()
{
    QPointer<DetailsPane> self(this);
    const int generation = generation_;
    const std::string handle = handle_;
    source_->fetchObject({handle, {}, kElements}, [self, generation, handle](const Result<ObjectView>& reply) {
        if (!self || self->generation_ != generation)
            return;
        if (reply.ok())
            self->setHtml(detailsHtml(reply.value));
        else
            self->setHtml(detailsPlaceholderHtml(tr("Could not read @%1: %2")
                                                     .arg(fromWire(handle), fromWire(reply.error.message))));
        Q_EMIT self->shown(fromWire(handle));
    });
}
