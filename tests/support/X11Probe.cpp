#include "X11Probe.h"

#include <QProcess>
#include <QRegularExpression>

namespace {

QString hex(WId window)
{
    return QStringLiteral("0x") + QString::number(window, 16);
}

QStringList atoms(const QString &value)
{
    QStringList list = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString &atom : list)
        atom = atom.trimmed();
    return list;
}

}  // namespace

namespace X11Probe {

QString runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

bool haveWindowManager()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qgetenv("QT_QPA_PLATFORM") != "xcb")
        return false;
    return runTool(QStringLiteral("xprop"),
                   {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
        .contains(QStringLiteral("window id"));
}

QString property(WId window, const QString &name)
{
    const QString out = runTool(QStringLiteral("xprop"), {QStringLiteral("-id"), hex(window), name});
    const int eq = out.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : out.mid(eq + 1).trimmed();
}

QStringList netWmState(WId window)
{
    return atoms(property(window, QStringLiteral("_NET_WM_STATE")));
}

QStringList windowTypes(WId window)
{
    return atoms(property(window, QStringLiteral("_NET_WM_WINDOW_TYPE")));
}

QList<WId> stackingOrder()
{
    const QString out = runTool(QStringLiteral("xprop"),
                                {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    QList<WId> windows;
    static const QRegularExpression id(QStringLiteral("0x[0-9a-fA-F]+"));
    for (auto it = id.globalMatch(out); it.hasNext();)
        windows << it.next().captured().toULongLong(nullptr, 16);
    return windows;
}

QString mapState(WId window)
{
    const QString out = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), hex(window)});
    static const QRegularExpression state(QStringLiteral("Map State: (\\w+)"));
    return state.match(out).captured(1);
}

QRect frameGeometry(WId window)
{
    const QString out = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), hex(window)});
    const auto number = [&out](const QString &label) {
        const QRegularExpression re(label + QStringLiteral(":\\s+(-?\\d+)"));
        return re.match(out).captured(1).toInt();
    };
    const QStringList frame = property(window, QStringLiteral("_NET_FRAME_EXTENTS")).split(QLatin1Char(','));
    const int left = frame.value(0).trimmed().toInt(), right = frame.value(1).trimmed().toInt();
    const int top = frame.value(2).trimmed().toInt(), bottom = frame.value(3).trimmed().toInt();
    return QRect(number(QStringLiteral("Absolute upper-left X")) - left,
                 number(QStringLiteral("Absolute upper-left Y")) - top,
                 number(QStringLiteral("Width")) + left + right,
                 number(QStringLiteral("Height")) + top + bottom);
}

QList<WId> windowsNamed(const QString &title)
{
    const QString out =
        runTool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    QList<WId> windows;
    const QString quoted = QLatin1Char('"') + title + QLatin1Char('"');
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        const int space = trimmed.indexOf(QLatin1Char(' '));
        if (space > 0 && trimmed.mid(space + 1).startsWith(quoted + QLatin1Char(':')))
            windows << trimmed.left(space).toULongLong(nullptr, 16);
    }
    return windows;
}

}  // namespace X11Probe
