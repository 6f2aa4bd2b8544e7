#include "MessageBoxWatch.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

void answerNextBox(QObject *context, BoxSeen &seen, const QElapsedTimer &clock)
{
    auto *poll = new QTimer(context);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, context, [poll, &seen, &clock] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->stop();
        poll->deleteLater();
        seen.after = clock.elapsed();
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        if (seen.whileOpen)
            seen.whileOpen();
        box->button(QMessageBox::Ok)->click();
    });
    poll->start();
}
