#include "PanelDriver.h"

#include "panel/frmLoadButtons.h"
#include "panel/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

void TestHost::showSplash()
{
    if (m_waits == Waits::Real)
        DesktopHost::showSplash();
}

void TestHost::closeSplash()
{
    DesktopHost::closeSplash();
}

void TestHost::waitSeconds(int seconds)
{
    if (m_waits == Waits::Real)
        DesktopHost::waitSeconds(seconds);
    else
        QCoreApplication::processEvents();
}

namespace PanelDriver {

QPushButton *button(frmMain &w, int index)
{
    return w.findChild<QPushButton *>(QStringLiteral("cmdRemoteNode%1").arg(index));
}

QTimer *timer(frmMain &w, const char *name)
{
    return w.findChild<QTimer *>(QLatin1String(name));
}

QAction *menuItem(frmMain &w, const char *name)
{
    return w.findChild<QAction *>(QLatin1String(name));
}

QWidget *dummy(frmMain &w)
{
    return w.findChild<QWidget *>(QStringLiteral("Dummy"));
}

bool load(frmMain &w)
{
    w.Form_Load();
    return !w.hasEnded();
}

void setCalls(frmMain &w, const QMap<int, QString> &calls)
{
    PanelSettings settings;
    for (auto it = calls.begin(); it != calls.end(); ++it)
        settings.calls[it.key()] = it.value();
    w.applySettings(settings);
}

bool refresh(frmMain &w)
{
    QSignalSpy ended(&w, &frmMain::LoadNodeButtonsEnded);
    w.LoadNodeButtons();
    return ended.count() > 0 || ended.wait(10000);
}

QStringList captions(frmMain &w)
{
    QStringList all;
    for (int i = 0; i < frmMain::NodeButtonCount; ++i)
        all << w.caption(i);
    return all;
}

bool editButton(frmMain &w, int index, const std::function<void(frmLoadButtons *)> &act)
{
    bool opened = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<frmLoadButtons *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        opened = true;
        act(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    poll.start();
    QTimer::singleShot(3000, &poll, &QTimer::stop);
    QTest::mouseClick(button(w, index), Qt::RightButton);
    return opened;
}

}  // namespace PanelDriver
