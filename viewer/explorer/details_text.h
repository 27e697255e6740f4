// The details pane's text for one object: what it is, then all of it: every field with
// its value, an array's elements (a primitive array's values in a block), a String's
// whole text, a collection of the JDK as its entries. Every object it names carries a
// link (objectLink) that opens it.
#pragma once

#include <QString>
#include <QUrl>

#include <optional>

#include "collection_page.h"
#include "reply_views.h"

// entries, when given and read, show the object as the collection it is; when not read,
// their note says why its fields are shown.
QString detailsHtml(const ObjectView& view, const CollectionPage* entries = nullptr);
// The pane's text while nothing is selected, or for a row that is no object.
QString detailsPlaceholderHtml(const QString& text);

// The link that names object in the pane, and the object a link names.
QUrl objectLink(const ObjectRef& object);
std::optional<ObjectRef> linkedObject(const QUrl& link);
