#include "panel/frmLoadButtons.h"

#include "panel/Module1.h"
#include "panel/Twips.h"
#include "panel/frmMain.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

using Module1::ButtonIndex;
using Module1::NodeCalls;

namespace {

// What OK stores: the text without surrounding blanks, in upper case (Unicode-aware).
QString committedCall(const QString &text)
{
    return text.trimmed().toUpper();
}

}  // namespace

frmLoadButtons::frmLoadButtons(frmMain *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                         | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_owner(owner)
{
    setObjectName(QStringLiteral("frmLoadButtons"));
    setWindowTitle(QStringLiteral("Load Button"));
    setWindowIcon(QIcon(QStringLiteral(":/dialboard.png")));
    setFixedSize(Twips::toPixels(3270), Twips::toPixels(555));

    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);

    tbCall = new QLineEdit(this);
    tbCall->setObjectName(QStringLiteral("tbCall"));
    tbCall->setGeometry(Twips::toPixels(180, 120, 2055, 315));
    tbCall->setFont(font);
    tbCall->setMaxLength(std::numeric_limits<int>::max());
    tbCall->installEventFilter(this);

    // Neither the default nor the cancel button: Enter is handled by the text box alone.
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(Twips::toPixels(2460, 120, 675, 315));
    cmdOK->setFont(font);
    cmdOK->setAutoDefault(false);
    cmdOK->setDefault(false);
    connect(cmdOK, &QPushButton::clicked, this, &frmLoadButtons::cmdOK_Click);

    setTabOrder(tbCall, cmdOK);
    Form_Load();
}

void frmLoadButtons::Form_Load()
{
    tbCall->setText(NodeCalls[ButtonIndex].trimmed());
    tbCall->setFocus(Qt::OtherFocusReason);
}

void frmLoadButtons::tbCall_KeyPress(int KeyAscii)
{
    if (KeyAscii == 13)
        cmdOK->click();
}

void frmLoadButtons::cmdOK_Click()
{
    const QString call = committedCall(tbCall->text());
    NodeCalls[ButtonIndex] = call;
    m_owner->setCaption(ButtonIndex, call);
    m_owner->saveSettings();
    accept();
}

bool frmLoadButtons::eventFilter(QObject *watched, QEvent *event)
{
    // The text box opens with no selection: Qt would select all of it when the focus
    // arrives by tab order, as it does when the dialog is shown.
    if (watched == tbCall && event->type() == QEvent::FocusIn)
        QMetaObject::invokeMethod(tbCall, &QLineEdit::deselect, Qt::QueuedConnection);
    if (watched == tbCall && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            tbCall_KeyPress(13);
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
