// The directory stand-in (directory_stand_in) as a process of the test: started on the
// block's directory address, told what to do through its input, its request log read back.
#pragma once

#include <QProcess>
#include <QStringList>

class DirectoryProcess
{
public:
    DirectoryProcess() = default;
    ~DirectoryProcess();

    // Starts it and waits until it listens. False when it did not.
    bool start(const QString &address, const QStringList &arguments = {});
    void stop();
    // normal, silent, truncated, garbage, huge, longline, trickle; returns once it holds.
    void setMode(const QString &mode);
    // Every request line so far.
    QStringList log();
    // Waits until a request line starting with start appears and returns it; empty after
    // timeoutMs.
    QString waitForLine(const QString &start, int timeoutMs);

private:
    QProcess m_process;
    QStringList m_log;
};
