// Fuzz target for the directory's commands and answers. The input is an answer, read as
// it would arrive, and three fields (callsign, password, description) separated by zero
// bytes. An answer is accepted exactly when it begins with "OK", is still pending only
// while the connection is open, and a refusal's text is short and printable. A command
// built from any fields has exactly its four fields: nothing in them can add another.
#include "node/protocol/DirectoryCommand.h"

#include <QByteArray>
#include <QList>
#include <QTime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void finding(const char *what, const QByteArray &input)
{
    std::fprintf(stderr, "finding: %s: %s\n", what, input.left(300).toPercentEncoding().constData());
    std::abort();
}

void checkReply(const QByteArray &answer)
{
    using Kind = DirectoryCommand::Reply::Kind;
    for (const bool ended : {false, true}) {
        const DirectoryCommand::Reply reply = DirectoryCommand::readReply(answer, ended);
        const bool ok = answer.startsWith("OK");
        if ((reply.kind == Kind::Accepted) != ok)
            finding("accepted is not the same as beginning with OK", answer);
        if (ended && reply.kind == Kind::Pending)
            finding("pending after the connection ended", answer);
        if ((reply.kind == Kind::NoAnswer) != (ended && answer.isEmpty()))
            finding("no answer is not the same as an empty answer", answer);
        if (answer.size() >= DirectoryCommand::MaxReply && reply.kind == Kind::Pending)
            finding("pending beyond the reply's cap", answer);
        if (reply.text.size() > DirectoryCommand::MaxReplyText)
            finding("refusal text longer than its cap", answer);
        for (const QChar c : reply.text)
            if (c.unicode() < 0x20 || c.unicode() >= 0x7f)
                finding("refusal text not printable", answer);
    }
}

void checkCommands(const QByteArray &input)
{
    const QList<QByteArray> parts = input.split('\0');
    const QString callsign = QString::fromLatin1(parts.value(0));
    const QString password = QString::fromUtf8(parts.value(1));
    const QString description = QString::fromUtf8(parts.value(2));
    const QByteArray commands[] = {
        DirectoryCommand::logOn(callsign, password, description, DirectoryCommand::Presence::Online,
                                QTime(9, 5)),
        DirectoryCommand::logOn(callsign, password, description, DirectoryCommand::Presence::Busy,
                                QTime(23, 59)),
        DirectoryCommand::logOff(callsign, password, description),
    };
    for (const QByteArray &command : commands) {
        if (!command.startsWith('l') || !command.endsWith('\r') || command.count('\r') != 3
            || command.contains('\n'))
            finding("a command that is not four fields", input);
        const QList<QByteArray> fields = command.split('\r');
        if (fields[2].size() > DirectoryCommand::MaxDescription)
            finding("a description longer than the directory shows", input);
        if (!fields[0].contains("\xac\xac"))
            finding("no password separator", input);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\0');
    checkReply(split < 0 ? input : input.left(split));
    if (split >= 0)
        checkCommands(input.mid(split + 1));
    return 0;
}
