// The details pane's text for one object: what it is, then all of it: every field with
// its value, an array's elements (a primitive array's values in a block), a String's
// whole text.
#pragma once

#include <QString>

#include "reply_views.h"

QString detailsHtml(const ObjectView& view);
// The pane's text while nothing is selected, or for a row that is no object.
QString detailsPlaceholderHtml(const QString& text);
