#include "Desktop.h"

#include "X11Probe.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

// A repaint is over well within these 30 pauses of 100 ms.
constexpr int StableGrabTries = 30;
constexpr int StableGrabPauseMs = 100;

// ImageMagick's import, whose output is a picture: its bytes, and whether it succeeded.
QByteArray import(const QStringList &arguments, bool *ok)
{
    QProcess process;
    process.start(QStringLiteral("import"), QStringList{QStringLiteral("-silent")} + arguments);
    const bool finished = process.waitForFinished(10000);
    if (!finished)
        process.kill();
    *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return process.readAllStandardOutput();
}

QString xdotool(const QStringList &arguments)
{
    return X11Probe::runTool(QStringLiteral("xdotool"), arguments);
}

QString hex(WId window)
{
    return QStringLiteral("0x") + QString::number(window, 16);
}

QString xwininfo(const QStringList &arguments)
{
    return X11Probe::runTool(QStringLiteral("xwininfo"), arguments);
}

int field(const QString &text, const QString &label)
{
    const QRegularExpression re(label + QStringLiteral(":\\s+(-?\\d+)"));
    return re.match(text).captured(1).toInt();
}

}  // namespace

namespace Desktop {

bool haveTools()
{
    for (const char *tool : {"xdotool", "xwininfo", "xprop", "import"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return false;
    }
    return true;
}

void click(QPoint at, int button)
{
    // No --sync: it waits for the pointer to move and so hangs when it is already there.
    // The X server takes the motion and the button in the order they were sent.
    xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
             QStringLiteral("click"), QString::number(button)});
}

void parkPointer()
{
    const QSize screen = screenSize();
    xdotool({QStringLiteral("mousemove"), QString::number(screen.width() - 1),
             QString::number(screen.height() - 1)});
}

void key(const QString &keys)
{
    xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30")}
            + keys.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}

void keyDown(const QString &key)
{
    xdotool({QStringLiteral("keydown"), key});
}

void keyUp(const QString &key)
{
    xdotool({QStringLiteral("keyup"), key});
}

void type(const QString &text)
{
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
}

void raise(WId window)
{
    xdotool({QStringLiteral("windowraise"), QString::number(window)});
}

void activate(WId window)
{
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(window)});
}

QList<WId> visibleWindowsOf(qint64 pid)
{
    QList<WId> windows;
    const QString out = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                 QStringLiteral("--pid"), QString::number(pid)});
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        windows << line.trimmed().toULongLong();
    return windows;
}

QString title(WId window)
{
    // WM_NAME: the window's own title. Qt puts the application's name into _NET_WM_NAME
    // of a window without a title, so that one never reads empty.
    QString name = X11Probe::property(window, QStringLiteral("WM_NAME"));
    if (name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')) && name.size() >= 2)
        name = name.mid(1, name.size() - 2);
    return name;
}

WId windowTitled(qint64 pid, const QString &windowTitle)
{
    for (const WId window : visibleWindowsOf(pid)) {
        if (title(window) == windowTitle)
            return window;
    }
    return 0;
}

WId waitForWindow(qint64 pid, const QString &windowTitle, int timeoutMs)
{
    WId found = 0;
    const bool framed = QTest::qWaitFor(
        [&] {
            found = windowTitled(pid, windowTitle);
            return found != 0 && frameExtents(found).top() > 0;
        },
        timeoutMs);
    return framed ? found : 0;
}

QRect clientGeometry(WId window)
{
    const QString out = xwininfo({QStringLiteral("-id"), hex(window)});
    return QRect(field(out, QStringLiteral("Absolute upper-left X")),
                 field(out, QStringLiteral("Absolute upper-left Y")), field(out, QStringLiteral("Width")),
                 field(out, QStringLiteral("Height")));
}

QMargins frameExtents(WId window)
{
    const QStringList v =
        X11Probe::property(window, QStringLiteral("_NET_FRAME_EXTENTS")).split(QLatin1Char(','));
    if (v.size() < 4)
        return {};
    // left, right, top, bottom
    return QMargins(v.value(0).trimmed().toInt(), v.value(2).trimmed().toInt(), v.value(1).trimmed().toInt(),
                    v.value(3).trimmed().toInt());
}

QSize screenSize()
{
    const QString out = xwininfo({QStringLiteral("-root")});
    return QSize(field(out, QStringLiteral("Width")), field(out, QStringLiteral("Height")));
}

WId activeWindow()
{
    return xdotool({QStringLiteral("getactivewindow")}).trimmed().toULongLong();
}

QImage grab(WId window)
{
    bool ok = false;
    const QByteArray png = import({QStringLiteral("-window"), hex(window), QStringLiteral("png:-")}, &ok);
    return ok ? QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32) : QImage();
}

QImage stableGrab(WId window)
{
    QImage previous = grab(window);
    for (int i = 0; i < StableGrabTries; ++i) {
        QTest::qWait(StableGrabPauseMs);
        const QImage now = grab(window);
        if (!now.isNull() && now == previous)
            return now;
        previous = now;
    }
    return {};
}

bool saveScreenshot(const QString &path)
{
    bool ok = false;
    import({QStringLiteral("-window"), QStringLiteral("root"), path}, &ok);
    return ok;
}

}  // namespace Desktop
