// The Load Button dialog: sets the call that one node button carries. It edits entry
// ButtonIndex of the node call table; OK stores the text trimmed and upper-cased, shows
// it on the button, saves every setting and closes. Closing it from the title bar
// changes nothing; Escape does nothing.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class frmMain;

class frmLoadButtons : public QDialog {
    Q_OBJECT
public:
    explicit frmLoadButtons(frmMain *owner);

    QLineEdit *tbCall = nullptr;
    QPushButton *cmdOK = nullptr;

    void Form_Load();
    // Enter in the text box presses OK, inside the key handler.
    void tbCall_KeyPress(int KeyAscii);
    void cmdOK_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    frmMain *m_owner;
};
