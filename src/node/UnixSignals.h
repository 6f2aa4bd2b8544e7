// SIGTERM and SIGINT delivered as a Qt signal on the event loop, through a signalfd: the
// signals are blocked in every thread and read from a descriptor, so no handler runs.
// install() must come before any thread is started, so that every thread inherits the mask.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

class UnixSignals : public QObject
{
    Q_OBJECT

public:
    explicit UnixSignals(QObject *parent = nullptr);
    ~UnixSignals() override;

    // Blocks the signals and opens the descriptor; false when that failed.
    bool install();
    // Starts watching the descriptor (needs the application object).
    void watch();

Q_SIGNALS:
    void quitRequested();

private:
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
