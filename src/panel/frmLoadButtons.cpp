#include "panel/frmLoadButtons.h"

#include "panel/Fonts.h"
#include "panel/StationCompletion.h"
#include "panel/Twips.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <limits>
#include <utility>

namespace {

// What OK stores: the text without surrounding blanks, in upper case (Unicode-aware).
QString committedCall(const QString &text)
{
    return text.trimmed().toUpper();
}

}  // namespace

frmLoadButtons::frmLoadButtons(QWidget *owner, int buttonIndex, const QString &call, Commit commit,
                               const EchoLinkStation *station)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint),
      m_buttonIndex(buttonIndex), m_commit(std::move(commit))
{
    setObjectName(QStringLiteral("frmLoadButtons"));
    setWindowTitle(tr("Load Button"));
    setWindowIcon(QIcon(QStringLiteral(":/dialboard.png")));
    setFixedSize(Twips::toPixels(3270), Twips::toPixels(555));
    const QFont font = Fonts::verdana(8.25);

    tbCall = new QLineEdit(this);
    tbCall->setObjectName(QStringLiteral("tbCall"));
    tbCall->setGeometry(Twips::toPixels(180, 120, 2055, 315));
    tbCall->setFont(font);
    tbCall->setMaxLength(std::numeric_limits<int>::max());
    tbCall->setAccessibleName(tr("Call for button %1").arg(buttonIndex + 1));
    tbCall->installEventFilter(this);

    // Neither the default nor the cancel button: Enter is handled by the text box alone.
    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(Twips::toPixels(2460, 120, 675, 315));
    cmdOK->setFont(font);
    cmdOK->setAutoDefault(false);
    cmdOK->setDefault(false);
    cmdOK->installEventFilter(this);
    connect(cmdOK, &QPushButton::clicked, this, &frmLoadButtons::cmdOK_Click);

    setTabOrder(tbCall, cmdOK);
    Form_Load(call);

    if (station) {
        m_completion = new StationCompletion(tbCall, *station, this);
        m_completion->setObjectName(QStringLiteral("stationCompletion"));
        connect(m_completion, &StationCompletion::enterWithoutChoice, this, &frmLoadButtons::cmdOK_Click);
    }
}

void frmLoadButtons::Form_Load(const QString &call)
{
    tbCall->setText(call.trimmed());
    tbCall->setFocus(Qt::OtherFocusReason);
}

void frmLoadButtons::cmdOK_Click()
{
    m_commit(committedCall(tbCall->text()));
    accept();
}

bool frmLoadButtons::eventFilter(QObject *watched, QEvent *event)
{
    // The text box opens with no selection: Qt would select all of it when the focus
    // arrives by tab order, as it does when the dialog is shown.
    if (watched == tbCall && event->type() == QEvent::FocusIn)
        QMetaObject::invokeMethod(tbCall, &QLineEdit::deselect, Qt::QueuedConnection);
    // Enter in the text box is OK; Enter on the focused OK button presses it, as Space does.
    if ((watched == tbCall || watched == cmdOK) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            cmdOK_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// Escape does not close the dialog; only OK or the title bar do.
void frmLoadButtons::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
