// The Load Button dialog: sets the call that one node button carries. It is made for one
// button and shows that button's call; OK (or Enter in the text box) hands the text,
// trimmed and upper-cased, to the panel, which stores, shows and saves it, and closes.
// Closing it from the title bar changes nothing; Escape does nothing.
//
// Given an EchoLink that offers its station list, the text box completes calls from it
// (StationCompletion). With the completion popup open, Enter on a picked station only
// fills the box, Enter with none picked is OK as above, and Escape closes the popup.
#pragma once

#include <QDialog>
#include <functional>

class EchoLinkStation;
class QLineEdit;
class QPushButton;
class StationCompletion;

class frmLoadButtons : public QDialog
{
    Q_OBJECT
public:
    using Commit = std::function<void(const QString &call)>;

    // `station`, when given, is asked for the station list to complete from.
    frmLoadButtons(QWidget *owner, int buttonIndex, const QString &call, Commit commit,
                   const EchoLinkStation *station = nullptr);

    int ButtonIndex() const { return m_buttonIndex; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Load(const QString &call);
    void cmdOK_Click();

    QLineEdit *tbCall = nullptr;
    QPushButton *cmdOK = nullptr;
    StationCompletion *m_completion = nullptr;
    int m_buttonIndex;
    Commit m_commit;
};
