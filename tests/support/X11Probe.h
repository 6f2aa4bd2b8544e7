// Reads what the X server and the window manager say about a window, with the standard
// X tools (xprop, xwininfo), as a user's desktop would see it.
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace X11Probe {

// Runs an X tool and returns what it printed; empty when it failed or took over 10 s.
QString runTool(const QString &program, const QStringList &arguments);

// True when the tests run on X with a window manager (DISPLAY set and a manager
// announced on the root window).
bool haveWindowManager();

// One property of a window as xprop prints it after "=" (empty when unset).
QString property(WId window, const QString &name);
// The atoms of _NET_WM_STATE, for instance "_NET_WM_STATE_ABOVE".
QStringList netWmState(WId window);
// The atoms of _NET_WM_WINDOW_TYPE.
QStringList windowTypes(WId window);
// The client windows in stacking order, bottom first (_NET_CLIENT_LIST_STACKING).
QList<WId> stackingOrder();
// "IsViewable", "IsUnMapped" or "IsUnviewable".
QString mapState(WId window);
// The window's frame rectangle on the screen (client area plus decoration).
QRect frameGeometry(WId window);
// The top-level X windows whose name (title) is exactly the given text.
QList<WId> windowsNamed(const QString &title);

}  // namespace X11Probe

// Skips the current test when no window manager is running.
#define REQUIRE_WINDOW_MANAGER()                                                                             \
    do {                                                                                                     \
        if (!X11Probe::haveWindowManager())                                                                  \
            QSKIP("needs an X display with a window manager (scripts/test.sh)");                             \
    } while (false)
