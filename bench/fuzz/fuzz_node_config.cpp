// Fuzz target for reading echolink-node's configuration file. Any text reads well or is
// refused with a line of the text, without a crash (and, under the sanitizers, without
// reading out of bounds); values that read well have no blanks at their ends and no line
// break; and comment lines added at either end change nothing.
#include "node/NodeConfig.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QString Path = QStringLiteral("fuzz.conf");

[[noreturn]] void finding(const char *what, const QByteArray &text)
{
    std::fprintf(stderr, "finding: %s: %s\n", what, text.left(200).toPercentEncoding().constData());
    std::abort();
}

// The file's blanks: none at either end of a value.
bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r');
}

bool trimmedOneLine(const QString &value)
{
    return !value.contains(QLatin1Char('\n'))
           && (value.isEmpty() || (!isBlank(value.front()) && !isBlank(value.back())));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    NodeConfigFile file(Path);
    NodeConfig config;
    if (!file.read(text, config)) {
        // "fuzz.conf:LINE: why" with a line of the text, or "fuzz.conf: why" for the whole.
        const QString error = file.error();
        bool ok = false;
        const qsizetype line = error.section(QLatin1Char(':'), 1, 1).toLongLong(&ok);
        if (!error.startsWith(Path + QStringLiteral(": "))
            && (!error.startsWith(Path + QLatin1Char(':')) || !ok || line < 1 || line > text.count('\n') + 1))
            finding("a refusal that names no line of the text", text);
        return 0;
    }
    for (const QString *value : {&config.callsign, &config.password, &config.name, &config.location,
                                 &config.description, &config.proxyHost, &config.proxyPassword}) {
        if (!trimmedOneLine(*value))
            finding("a value with blanks at its ends or a line break", text);
    }
    if (text.size() > 64 * 1024 - 64)
        return 0;  // no room for the comments
    NodeConfig commented;
    // The byte order mark comes first or not at all.
    const QByteArray body = text.startsWith("\xef\xbb\xbf") ? text.mid(3) : text;
    if (!file.read("; first\n" + body + "\n# last\n", commented))
        finding("comment lines around a good file make it bad", text);
    if (commented.callsign != config.callsign || commented.password != config.password
        || commented.name != config.name || commented.proxyHost != config.proxyHost
        || commented.proxyPort != config.proxyPort || commented.proxyPassword != config.proxyPassword
        || commented.directoryServers != config.directoryServers || commented.maxLinks != config.maxLinks)
        finding("comment lines around a good file change its values", text);
    return 0;
}
