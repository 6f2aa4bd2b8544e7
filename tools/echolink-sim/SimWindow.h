// The stand-in's small window: the callsign, the linked calls and a button that closes
// EchoLink the way the real program does (raising Closing).
#pragma once

#include <QWidget>

class AutomationService;
class QLabel;
class QListWidget;
class Station;

class SimWindow : public QWidget
{
    Q_OBJECT

public:
    SimWindow(Station &station, AutomationService &service, QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showStation();

    Station &m_station;
    AutomationService &m_service;
    QLabel *m_callsign;
    QListWidget *m_linked;
};
