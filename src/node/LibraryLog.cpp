#include "LibraryLog.h"

#include "FarText.h"

#include <cstdio>
#include <iostream>

LibraryLog::LibraryLog() : m_previous(std::cerr.rdbuf(this))
{
    m_window.start();
}

LibraryLog::~LibraryLog()
{
    std::cerr.rdbuf(m_previous);
    if (!m_line.isEmpty())
        line();
}

LibraryLog::int_type LibraryLog::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const QMutexLocker locker(&m_lock);
    if (c == '\n')
        line();
    else if (m_line.size() < FarText::MaxLength * 4)
        m_line.append(char(c));
    return c;
}

void LibraryLog::line()
{
    const QString text = FarText::clean(m_line).simplified();
    m_line.clear();
    if (m_window.hasExpired(WindowMs)) {
        if (m_leftOut > 0)
            std::fprintf(stderr, "echolink-node: library: %d more messages left out\n", m_leftOut);
        m_window.start();
        m_linesInWindow = 0;
        m_leftOut = 0;
    }
    if (text.isEmpty())
        return;
    if (m_linesInWindow >= LinesPerWindow) {
        ++m_leftOut;
        return;
    }
    ++m_linesInWindow;
    std::fprintf(stderr, "echolink-node: library: %s\n", qPrintable(text));
}
