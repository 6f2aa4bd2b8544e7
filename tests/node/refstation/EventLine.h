// What the reference station tells its driver: one event a line on standard output,
// flushed at once. Text from far stations is escaped so that a line is one event and pure
// ASCII: backslash, CR and LF as \\, \r and \n, every other control or non-ASCII byte as
// \xHH.
#pragma once

#include <string>

namespace RefStation {

std::string escaped(const std::string &text);
// The form commands use for chat and info text: \n, \r and \\ turned back into bytes.
std::string unescaped(const std::string &text);
void event(const std::string &line);

}  // namespace RefStation
