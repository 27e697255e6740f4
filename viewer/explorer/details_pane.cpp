#include "details_pane.h"

#include <QPointer>

#include "collection_reader.h"
#include "details_text.h"
#include "display_text.h"
#include "fields_choice.h"

DetailsPane::DetailsPane(HeapSource* source, const FieldsChoice* fields, QWidget* parent)
    : QTextBrowser(parent), source_(source), fields_(fields)
{
    setObjectName(QStringLiteral("details"));
    setOpenLinks(false);
    setHtml(detailsPlaceholderHtml(tr("Select an object to see all of it here.")));
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &DetailsPane::request);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        if (const auto object = linkedObject(link))
            Q_EMIT openObject(*object);
    });
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

void DetailsPane::showDetails(const ObjectView& view, const CollectionPage* entries)
{
    setHtml(detailsHtml(view, entries));
}

void DetailsPane::showText(const QString& html)
{
    handle_.clear();
    ++generation_;  // a live reply still out is not shown over it
    settle_.stop();
    setHtml(html);
}

void DetailsPane::request()
{
    QPointer<DetailsPane> self(this);
    const int generation = generation_;
    const std::string handle = handle_;
    source_->fetchObject({handle, {}, kElements}, [self, generation, handle](const Result<ObjectView>& reply) {
        if (!self || self->generation_ != generation)
            return;
        if (!reply.ok()) {
            self->setHtml(detailsPlaceholderHtml(tr("Could not read @%1: %2")
                                                     .arg(fromWire(handle), fromWire(reply.error.message))));
        } else if (CollectionReader::readsType(reply.value.object.type) &&
                   !(self->fields_ && self->fields_->wantsFields(handle))) {
            self->showEntries(reply.value, generation);
            return;
        } else {
            self->showDetails(reply.value);
        }
        Q_EMIT self->shown(fromWire(handle));
    });
}

void DetailsPane::showEntries(const ObjectView& view, int generation)
{
    QPointer<DetailsPane> self(this);
    source_->fetchCollection({view.object.handle, 0, kEntries},
                             [self, generation, view](const Result<CollectionPage>& reply) {
                                 if (!self || self->generation_ != generation)
                                     return;
                                 CollectionPage page = reply.value;
                                 if (!reply.ok()) {
                                     page = CollectionPage{};
                                     page.note = "its entries could not be read: " + reply.error.message;
                                 }
                                 self->showDetails(view, &page);
                                 Q_EMIT self->shown(fromWire(view.object.handle));
                             });
}
