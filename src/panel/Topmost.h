// The window manager's always-on-top band for a top-level window.
//
// The band is requested through the window's QWindow flags, never QWidget's, which
// would destroy and re-create the native window.
#pragma once

class QWidget;

namespace Topmost {

// Puts the window into the band and on top of the other windows there. Repeating it
// really asks the window manager again, so a window raised over this one is covered
// again. Does nothing before the window has a native window.
void enter(QWidget *window);

// Takes the window out of the band at once.
void leave(QWidget *window);

}  // namespace Topmost
