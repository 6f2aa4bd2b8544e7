// echolink-node's window: the station browser and what happens to each link; the callsign,
// directory status, proxy state (with a proxy) and Busy toggle; the linked stations (a station that is talking is
// marked; the chosen one's information text shown; dropped with Delete or its context
// menu); push-to-talk, the receive and transmit meters, the chat, and "Close EchoLink",
// which ends the node (and raises Closing). Everything it shows
// comes from the node's signals, whoever caused the change (this window, the panel, a far
// station); the meters are read ten times a second while the window is shown.
#pragma once

#include <QMainWindow>
#include <QSet>
#include <QTimer>

class LinkOutcomes;
class Node;
class PushToTalk;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class StationBrowser;

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
    QWidget *buildBrowser();
    QWidget *buildStation();
    QWidget *buildChat();
    void buildMenu();
    void showLinks(const QStringList &links);
    void showTalking(const QString &callsign, bool talking);
    void showInfo();
    void dropChosen();
    void transmit(bool on);
    void sendChat();
    void addChatLine(const QString &line);
    void readMeters();

    Node &m_node;
    StationBrowser *m_browser = nullptr;
    LinkOutcomes *m_outcomes = nullptr;
    QLabel *m_directory = nullptr;
    QLabel *m_proxy = nullptr;
    QCheckBox *m_busy = nullptr;
    QListWidget *m_links = nullptr;
    QPlainTextEdit *m_info = nullptr;
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
