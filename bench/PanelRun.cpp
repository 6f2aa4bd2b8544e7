#include "PanelRun.h"

#include "Desktop.h"
#include "TestEnvironment.h"
#include "X11Probe.h"

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
constexpr int ButtonWidth = 99;  // pixels at 96 DPI
constexpr int ButtonHeight = 20;
constexpr int SmallArea = 60;  // button area of the small view

QString settingsFolder()
{
    return TestEnvironment::configHome() + QStringLiteral("/Dialboard");
}

bool isSplash(WId window)
{
    return X11Probe::windowTypes(window).contains(QStringLiteral("_NET_WM_WINDOW_TYPE_SPLASH"));
}

// Brings the window to the front and gives it the keyboard, before input is sent to it.
void activate(WId window)
{
    X11Probe::runTool(QStringLiteral("xdotool"),
                      {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(window)});
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
        inotify_add_watch(m_watch, QFile::encodeName(settingsFolder()).constData(), IN_MOVED_TO);
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
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                       onX ? QStringLiteral("xcb") : QStringLiteral("offscreen"));
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
    for (const WId window : Desktop::visibleWindowsOf(pid())) {
        const QString title = Desktop::title(window);
        if (isSplash(window))
            names << QStringLiteral("[splash]");
        else
            names << (title.isEmpty() ? QStringLiteral("[menu]")
                                      : QLatin1Char('"') + title + QLatin1Char('"'));
    }
    return names;
}

WId PanelRun::waitForWindow(const QRegularExpression &title, int timeoutMs, WId other) const
{
    QElapsedTimer clock;
    clock.start();
    do {
        for (const WId window : Desktop::visibleWindowsOf(pid()))
            if (window != other && !isSplash(window) && title.match(Desktop::title(window)).hasMatch())
                return window;
        QTest::qWait(50);
    } while (clock.elapsed() < timeoutMs && isRunning());
    return 0;
}

WId PanelRun::waitForPanel(int timeoutMs) const
{
    return waitForWindow(
        QRegularExpression(QLatin1Char('^') + PanelRunSettings::PanelTitle + QLatin1Char('$')), timeoutMs);
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
        activate(window);
    Desktop::key(keys);
}

void PanelRun::type(WId window, const QString &text) const
{
    activate(window);
    Desktop::type(text);
}

void PanelRun::click(WId panel, int x, int y, int button) const
{
    activate(panel);
    Desktop::click(Desktop::clientGeometry(panel).topLeft() + QPoint(x, y), button);
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
    return Desktop::clientGeometry(panel).size();
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
    Desktop::parkPointer();
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
