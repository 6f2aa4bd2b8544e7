// echolink-node's window: the callsign, directory status and proxy state (with a proxy), the linked stations
// (a station that is talking is marked), push-to-talk, the receive and transmit meters, the chat, and "Close
// EchoLink", which ends the node (and raises Closing). Everything it shows comes from the node's signals,
// whoever caused the change (this window, the panel, a far station); the meters are read ten times a second
// while the window is shown.
#pragma once

#include <QMainWindow>
#include <QSet>
#include <QTimer>

class Node;
class PushToTalk;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class NodeWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit NodeWindow(Node &node, QWidget *parent = nullptr);

    // Lines the chat view keeps, at most.
    static constexpr int ChatLines = 500;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *buildStation();
    QWidget *buildChat();
    void buildMenu();
    void showLinks(const QStringList &links);
    void showTalking(const QString &callsign, bool talking);
    void transmit(bool on);
    void sendChat();
    void addChatLine(const QString &line);
    void readMeters();

    Node &m_node;
    QLabel *m_directory = nullptr;
    QLabel *m_proxy = nullptr;
    QListWidget *m_links = nullptr;
    QPushButton *m_talk = nullptr;
    QLabel *m_problem = nullptr;
    QProgressBar *m_receiveLevel = nullptr;
    QProgressBar *m_transmitLevel = nullptr;
    QPlainTextEdit *m_chat = nullptr;
    QLineEdit *m_chatInput = nullptr;
    QPushButton *m_send = nullptr;
    QPushButton *m_close = nullptr;
    PushToTalk *m_pushToTalk = nullptr;
    QSet<QString> m_talking;
    QStringList m_linked;
    QTimer m_meterTimer;
};
