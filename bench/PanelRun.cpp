#include "PanelRun.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <sys/inotify.h>
#include <unistd.h>

using PanelRunSettings::SeededCalls;

namespace {

constexpr int NodeButtonCount = 40;
constexpr int ButtonWidth = 99;   // pixels at 96 DPI
constexpr int ButtonHeight = 20;
constexpr int SmallArea = 60;     // button area of the small view

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QString xdotool(const QStringList &arguments)
{
    return run(QStringLiteral("xdotool"), arguments);
}

QString settingsFolder()
{
    return TestEnvironment::configHome() + QStringLiteral("/Dialboard");
}

bool isSplash(WId window)
{
    return run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window),
                                         QStringLiteral("_NET_WM_WINDOW_TYPE")})
        .contains(QStringLiteral("_NET_WM_WINDOW_TYPE_SPLASH"));
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

QString titleOf(WId window)
{
    return xdotool({QStringLiteral("getwindowname"), QString::number(window)}).trimmed();
}

void movePointerAway()
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("1270"), QStringLiteral("1010")});
}

}  // namespace

PanelRun::PanelRun()
{
    QDir(settingsFolder()).removeRecursively();
    QDir().mkpath(settingsFolder());
    m_seed = "[Settings]\n";
    for (int i = 0; i < SeededCalls.size(); ++i)
        m_seed += QStringLiteral("NodeCall%1=%2\n").arg(i).arg(SeededCalls[i]).toUtf8();
    QFile file(settingsPath());
    if (file.open(QIODevice::WriteOnly))
        file.write(m_seed);
    file.close();

    m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch >= 0)
        inotify_add_watch(m_watch, QFile::encodeName(settingsFolder()).constData(),
                          IN_MOVED_TO);
}

PanelRun::~PanelRun()
{
    if (isRunning()) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    if (m_watch >= 0)
        close(m_watch);
}

bool PanelRun::start(Display display)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const bool onX = display == Display::X && !qEnvironmentVariableIsEmpty("DISPLAY");
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), onX ? QStringLiteral("xcb")
                                                              : QStringLiteral("offscreen"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setReadChannel(QProcess::StandardError);
    m_clock.start();
    m_process.start(QStringLiteral(DIALBOARD_PATH), {});
    return m_process.waitForStarted(5000);
}

QString PanelRun::waitForExit(int timeoutMs)
{
    if (!m_process.waitForFinished(timeoutMs) && isRunning()) {
        m_process.kill();
        m_process.waitForFinished(3000);
        return QStringLiteral("still running");
    }
    if (m_process.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("killed by a signal");
    return QStringLiteral("exit %1").arg(m_process.exitCode());
}

bool PanelRun::exitedWith(int status) const
{
    return m_process.state() == QProcess::NotRunning && m_process.exitStatus() == QProcess::NormalExit
           && m_process.exitCode() == status;
}

QStringList PanelRun::errorLines()
{
    while (isRunning() && m_process.waitForReadyRead(50))
        ;
    m_stderr += m_process.readAllStandardError();
    QStringList lines;
    const QString prefix = QStringLiteral("dialboard: ");
    for (const QString &line : QString::fromLocal8Bit(m_stderr).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (line.startsWith(prefix))
            lines << line.mid(prefix.size());
    return lines;
}

QStringList PanelRun::windowNames() const
{
    QStringList names;
    if (!isRunning())
        return names;
    for (const WId window : visibleWindowsOf(pid())) {
        const QString title = titleOf(window);
        if (isSplash(window))
            names << QStringLiteral("[splash]");
        else
            names << (title.isEmpty() ? QStringLiteral("[menu]") : QLatin1Char('"') + title + QLatin1Char('"'));
    }
    return names;
}

WId PanelRun::waitForWindow(const QRegularExpression &title, int timeoutMs, WId other) const
{
    QElapsedTimer clock;
    clock.start();
    do {
        for (const WId window : visibleWindowsOf(pid()))
            if (window != other && !isSplash(window) && title.match(titleOf(window)).hasMatch())
                return window;
        QTest::qWait(50);
    } while (clock.elapsed() < timeoutMs && isRunning());
    return 0;
}

WId PanelRun::waitForPanel(int timeoutMs) const
{
    return waitForWindow(QRegularExpression(QLatin1Char('^') + PanelRunSettings::PanelTitle + QLatin1Char('$')),
                         timeoutMs);
}

bool PanelRun::messageBoxShows(WId box, const QString &text) const
{
    // X offers no way to read a label's text, so a box with that text is put up here, in
    // the same style and fonts, away from the program's box, and its text area compared
    // pixel by pixel with the one the program shows. The program's box is taken first,
    // while it is on top.
    QScreen *screen = QGuiApplication::primaryScreen();
    const QImage shown = screen->grabWindow(box).toImage();
    QMessageBox reference(QMessageBox::Critical, QStringLiteral("Dialboard"), text, QMessageBox::Ok);
    reference.move(0, 0);
    reference.show();
    if (!QTest::qWaitForWindowExposed(&reference))
        return false;
    QTest::qWait(200);
    const auto *label = reference.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    const QImage expected = screen->grabWindow(reference.winId()).toImage();
    reference.hide();
    if (!label || shown.size() != expected.size())
        return false;
    const QRect area = label->geometry();
    return shown.copy(area) == expected.copy(area);
}

void PanelRun::key(WId window, const QString &keys) const
{
    if (window)
        xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(window)});
    xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--clearmodifiers")}
            + keys.split(QLatin1Char(' ')));
}

void PanelRun::type(WId window, const QString &text) const
{
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(window)});
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

void PanelRun::click(WId panel, int x, int y, int button) const
{
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(panel)});
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(panel),
             QString::number(x), QString::number(y), QStringLiteral("click"), QString::number(button)});
}

void PanelRun::rightClickButton(WId panel, int index) const
{
    // Row r holds button r on the left and button 39 - r on the right.
    const bool left = index < NodeButtonCount / 2;
    const int row = left ? index : NodeButtonCount - 1 - index;
    click(panel, (left ? 0 : 100) + ButtonWidth / 2,
          menuBarHeight(panel) + row * ButtonHeight + ButtonHeight / 2, 3);
}

QSize PanelRun::clientSize(WId panel) const
{
    const QString out = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(panel)});
    static const QRegularExpression width(QStringLiteral("Width: (\\d+)"));
    static const QRegularExpression height(QStringLiteral("Height: (\\d+)"));
    return QSize(width.match(out).captured(1).toInt(), height.match(out).captured(1).toInt());
}

int PanelRun::menuBarHeight(WId panel) const
{
    // Whichever view is up, the last 60 pixels of the small view or 400 of the large one
    // are buttons; the menu bar is never as tall as 340 pixels.
    const int height = clientSize(panel).height();
    return height > 400 ? height - 400 : height - SmallArea;
}

QImage PanelRun::buttonArea(WId panel) const
{
    movePointerAway();
    QTest::qWait(200);
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(panel, 0, menuBarHeight(panel), 2 * ButtonWidth + 1, SmallArea).toImage();
}

QString PanelRun::settingsPath() const
{
    return settingsFolder() + QStringLiteral("/Dialboard.conf");
}

bool PanelRun::settingsUntouched() const
{
    QFile file(settingsPath());
    return file.open(QIODevice::ReadOnly) && file.readAll() == m_seed;
}

// Qt saves a settings file by writing a new one beside it and renaming it into place, so
// every save is one file moved onto Dialboard.conf.
int PanelRun::saves()
{
    alignas(inotify_event) char buffer[4096];
    ssize_t length;
    while (m_watch >= 0 && (length = read(m_watch, buffer, sizeof buffer)) > 0) {
        for (char *at = buffer; at < buffer + length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(at);
            if (event->len > 0 && qstrcmp(event->name, "Dialboard.conf") == 0)
                ++m_saves;
            at += sizeof(inotify_event) + event->len;
        }
    }
    return m_saves;
}

QString PanelRun::missingFromSaved(const QHash<int, QString> &calls) const
{
    if (!QFile::exists(settingsPath()))
        return QStringLiteral("no settings file");
    QSettings stored(settingsPath(), QSettings::IniFormat);
    stored.beginGroup(QStringLiteral("Settings"));
    QStringList keys{QStringLiteral("ScrnTop"), QStringLiteral("ScrnLeft"), QStringLiteral("OnTop"),
                     QStringLiteral("ViewLarge"), QStringLiteral("ViewSmall")};
    for (int i = 0; i < NodeButtonCount; ++i)
        keys << QStringLiteral("NodeCall%1").arg(i);
    QStringList missing;
    for (const QString &key : keys)
        if (!stored.contains(key))
            missing << key;
    if (!missing.isEmpty())
        return QStringLiteral("%1 of 45 keys missing (%2)").arg(missing.size()).arg(missing.first());
    QHash<int, QString> expected;
    for (int i = 0; i < SeededCalls.size(); ++i)
        expected.insert(i, SeededCalls[i]);
    expected.insert(calls);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QString value = stored.value(QStringLiteral("NodeCall%1").arg(it.key())).toString();
        if (value != it.value())
            return QStringLiteral("NodeCall%1 is \"%2\", not \"%3\"").arg(it.key()).arg(value, it.value());
    }
    return {};
}
