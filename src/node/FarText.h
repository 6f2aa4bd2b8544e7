// Text that comes from far stations and the directory (callsigns, names, info, chat):
// bounded in length and stripped of control characters before it is kept, logged or shown.
#pragma once

#include <QByteArray>
#include <QString>

namespace FarText {

constexpr int MaxLength = 256;

// The text as Latin-1 (the protocol's text is 8-bit), line breaks and tabs as blanks,
// every other control character dropped, cut to MaxLength characters.
QString clean(const QByteArray &text);
QString clean(const std::string &text);

}  // namespace FarText
