// What the window benchmarks time with: milliseconds on a clock, the event loop run
// until a condition holds, and a view painted now.
#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

inline double msSince(const QElapsedTimer& clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// Runs the event loop until done() or the time-out; false on the time-out. It sleeps
// between events (a spinning loop would take a core from the JVM being measured); a
// timer wakes it to look at done() even when nothing else happens.
template <typename Done>
bool waitFor(Done done, int timeoutMs = 600000)
{
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(5);
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Lays out and paints what a view shows now, as the next frame would.
inline void paint(QAbstractItemView* view)
{
    QApplication::processEvents();
    view->viewport()->repaint();
}
