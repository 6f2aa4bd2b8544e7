#include "panel/Topmost.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace Topmost {

namespace {

// A hint that only sub-windows inside an application use; top-level windows on X11
// ignore it. Flipping it makes Qt pass the window's flags to the window manager again.
constexpr Qt::WindowType IgnoredHint = Qt::WindowShadeButtonHint;

}  // namespace

void enter(QWidget *window)
{
    QWindow *handle = window->windowHandle();
    if (!handle)
        return;
    // Qt hands flags to the window manager only when they change, and taking the
    // on-top hint away for a moment would drop the panel below other windows and
    // repaint it. Flipping a hint the window manager never sees instead sends the
    // request to stay on top again, even when the window manager has dropped it
    // meanwhile. The raise then puts the panel above the others in the band.
    const Qt::WindowFlags onTop = handle->flags() | Qt::WindowStaysOnTopHint;
    handle->setFlags(onTop ^ IgnoredHint);
    handle->setFlags(onTop);
    // Windows drawn offscreen (tests, benchmarks) have no stacking order to change.
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        handle->raise();
}

void leave(QWidget *window)
{
    if (QWindow *handle = window->windowHandle())
        handle->setFlags(handle->flags() & ~Qt::WindowStaysOnTopHint);
}

}  // namespace Topmost
