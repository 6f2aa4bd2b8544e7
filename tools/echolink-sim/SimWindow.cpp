#include "SimWindow.h"

#include "AutomationService.h"
#include "Station.h"

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

SimWindow::SimWindow(Station &station, AutomationService &service, QWidget *parent)
    : QWidget(parent), m_station(station), m_service(service), m_callsign(new QLabel(this)),
      m_linked(new QListWidget(this))
{
    setWindowTitle(tr("EchoLink (stand-in)"));
    auto *closeButton = new QPushButton(tr("Close EchoLink"), this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_callsign);
    layout->addWidget(new QLabel(tr("Linked:"), this));
    layout->addWidget(m_linked);
    layout->addWidget(closeButton);

    connect(closeButton, &QPushButton::clicked, &m_service, &AutomationService::raiseClosingAndQuit);
    connect(&m_station, &Station::changed, this, &SimWindow::showStation);
    showStation();
}

void SimWindow::closeEvent(QCloseEvent *event)
{
    // EchoLink raises Closing whenever it closes, however it is closed.
    m_service.raiseClosingAndQuit();
    event->accept();
}

void SimWindow::showStation()
{
    m_callsign->setText(tr("Callsign: %1").arg(m_station.callsign()));
    m_linked->clear();
    m_linked->addItems(m_station.linkedCalls());
}
