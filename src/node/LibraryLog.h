// The EchoLink library's own messages (it writes them to std::cerr, one for every stray
// packet among others) passed to the node's log line by line: cleaned, prefixed, and
// limited in rate, so a flood of forged packets cannot become a flood of log lines. The
// library's DNS worker thread writes there too, hence the lock.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMutex>

#include <streambuf>

class LibraryLog : public std::streambuf
{
public:
    // Takes over std::cerr until destroyed.
    LibraryLog();
    ~LibraryLog() override;

    LibraryLog(const LibraryLog &) = delete;
    LibraryLog &operator=(const LibraryLog &) = delete;

    // At most this many lines in each window; the rest are counted and reported once.
    static constexpr int LinesPerWindow = 10;
    static constexpr int WindowMs = 10000;

protected:
    int_type overflow(int_type c) override;

private:
    void line();

    QMutex m_lock;
    std::streambuf *m_previous;
    QByteArray m_line;
    QElapsedTimer m_window;
    int m_linesInWindow = 0;
    int m_leftOut = 0;
};
