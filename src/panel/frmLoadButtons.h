// The Load Button dialog: sets the call that one node button carries. It is made for one
// button and shows that button's call; OK (or Enter in the text box) hands the text,
// trimmed and upper-cased, to the panel, which stores, shows and saves it, and closes.
// Closing it from the title bar changes nothing; Escape does nothing.
#pragma once

#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

class frmLoadButtons : public QDialog
{
    Q_OBJECT
public:
    using Commit = std::function<void(const QString &call)>;

    frmLoadButtons(QWidget *owner, int buttonIndex, const QString &call, Commit commit);

    int ButtonIndex() const { return m_buttonIndex; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Load(const QString &call);
    void cmdOK_Click();

    QLineEdit *tbCall = nullptr;
    QPushButton *cmdOK = nullptr;
    int m_buttonIndex;
    Commit m_commit;
};
