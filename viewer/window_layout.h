// Window placement in outer-frame terms: positions and sizes include the frame and the
// caption bar, and every window uses the 12-pixel UI font.
#pragma once

#include <QFont>
#include <QWidget>

// Call before showing: the top-left corner of the frame and a first client size.
inline void placeWindow(QWidget* window, int left, int top, int width, int height)
{
    QFont font = window->font();
    font.setPixelSize(12);
    window->setFont(font);
    window->move(left, top);  // for a top-level window this places the frame
    window->resize(width, height);
}

// Call once shown, when the frame is known: makes the outer size width x height.
inline void setOuterSize(QWidget* window, int width, int height)
{
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    window->resize(width - frame.width(), height - frame.height());
}
