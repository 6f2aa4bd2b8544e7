#include "LoadButtonDriver.h"

#include "panel/frmLoadButtons.h"
#include "panel/frmMain.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

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
    QTest::mouseClick(w.cmdRemoteNode[index], Qt::RightButton);
    return opened;
}
