// The desktop as a user works it: real pointer and key events from xdotool, windows found
// and measured with xdotool and xwininfo, pictures taken with ImageMagick's import.
#pragma once

#include <QImage>
#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace Desktop {

// True when xdotool, xwininfo, xprop and import are all installed.
bool haveTools();

// Moves the pointer there and presses and releases a mouse button (1 left, 3 right).
void click(QPoint screenPosition, int button = 1);
// Parks the pointer in the screen's bottom-right corner, over no window of the test, so
// no button is drawn hovered.
void parkPointer();
// Key presses to whichever window has the keyboard focus, as xdotool names them,
// separated by blanks ("Return", "ctrl+a Delete").
void key(const QString &keys);
// Presses a key and holds it, until keyUp lets it go (no auto-repeat is sent).
void keyDown(const QString &key);
void keyUp(const QString &key);
// Types text into whichever window has the keyboard focus.
void type(const QString &text);
// Asks the window manager to raise a window, as a click on its frame would.
void raise(WId window);
// Asks the window manager to give a window the keyboard focus, and waits until it has.
void activate(WId window);

// The mapped top-level windows of a process (by _NET_WM_PID), override-redirect ones
// such as open menus included.
QList<WId> visibleWindowsOf(qint64 pid);
// The window's title (WM_NAME); empty when it has none.
QString title(WId window);
// The process's visible window with exactly this title; 0 when it has none.
WId windowTitled(qint64 pid, const QString &title);
// Waits until the process shows a window with exactly this title and the window manager
// has framed it; the window, or 0 when that did not happen within timeoutMs.
WId waitForWindow(qint64 pid, const QString &title, int timeoutMs);
// The client area on the screen, without the window manager's frame.
QRect clientGeometry(WId window);
// The window manager's frame around the client area (_NET_FRAME_EXTENTS).
QMargins frameExtents(WId window);
QSize screenSize();
WId activeWindow();

// The window's pixels as the screen shows them (a null image when the grab failed).
QImage grab(WId window);
// The window's pixels once two grabs in a row agree, so a picture is never taken halfway
// through a repaint; a null image when they never settled.
QImage stableGrab(WId window);
// Writes a PNG of the whole screen.
bool saveScreenshot(const QString &path);

}  // namespace Desktop
