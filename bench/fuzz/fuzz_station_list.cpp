// Fuzz target for reading the directory's station list. Any answer parses to Complete,
// NeedMore or Broken without a crash (and, under the sanitizers, without reading out of
// bounds); a complete list holds no more stations than it has lines for; and no shorter
// piece of a complete answer is Broken, since the fetcher may see any of them first.
#include "node/StationList.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void finding(const char *what, const QByteArray &text)
{
    std::fprintf(stderr, "finding: %s: %s\n", what, text.left(200).toPercentEncoding().constData());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    StationList list;
    if (StationList::parse(text, list) != StationList::Parse::Complete)
        return 0;
    if (list.size() > StationList::MaxEntries || qsizetype(list.size()) * 4 > text.count('\n'))
        finding("more stations than lines", text);
    for (const qsizetype cut : {text.size() - 1, text.size() / 2, qsizetype(4)}) {
        if (cut < 0 || cut >= text.size())
            continue;
        StationList part;
        const StationList::Parse parsed = StationList::parse(text.left(cut), part);
        // A complete answer may carry bytes after its "+++", so a piece may be complete too.
        if (parsed == StationList::Parse::Broken)
            finding("a piece of a complete answer is broken", text.left(cut));
    }
    return 0;
}
