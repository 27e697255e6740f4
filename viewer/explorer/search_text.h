// What the window's search box and the class filter read in their text: a pattern over
// class names, or an object's handle.
#pragma once

#include <QRegularExpression>
#include <QString>

#include <optional>

// Class names that contain text, case ignored, with `*` standing for any run of
// characters: "Standard*Session" finds org.apache.catalina.session.StandardSession.
QRegularExpression classPattern(const QString& text);

// Whether name is the one text names exactly, as its whole or its simple name, case
// ignored ("string" names java.lang.String).
bool namesClass(const QString& text, const QString& name);

struct HandleText {
    QString handle;     // as the agent writes it: lower-case hex, no leading zeros
    bool marked = false;  // written "@1a2b", as the views show handles
};

// The handle "@1a2b", "1a2b" or "0x1a2b" names; none for any other text.
std::optional<HandleText> handleIn(const QString& text);
