#include "prefs/Topmost.h"

#include <QWidget>
#include <QWindow>

namespace Topmost {

void enter(QWidget *window)
{
    QWindow *handle = window->windowHandle();
    if (!handle)
        return;
    const Qt::WindowFlags flags = handle->flags();
    // Qt drops a flag change that changes nothing, so the hint is taken away and given
    // back: the window manager then sees a fresh request and restacks the window on top
    // of the band. Both requests go out together, before the next repaint.
    if (flags & Qt::WindowStaysOnTopHint)
        handle->setFlags(flags & ~Qt::WindowStaysOnTopHint);
    handle->setFlags(flags | Qt::WindowStaysOnTopHint);
}

void leave(QWidget *window)
{
    if (QWindow *handle = window->windowHandle())
        handle->setFlags(handle->flags() & ~Qt::WindowStaysOnTopHint);
}

}  // namespace Topmost
