// A file of the user's own: created for the user alone from its first byte, and read with a
// bound on its size, for files that hold a secret and come from outside the program.
#pragma once

#include <QByteArray>
#include <QString>

namespace OwnFile {

// Creates the file at path holding content, with mode 0600 given by the creation itself
// (missing folders on the way are made 0700), unless something is already there. A symbolic
// link at path is never followed to create a file: one that leads nowhere is refused.
// Empty when a file exists at path afterwards; otherwise why not, naming path.
QString createUnlessPresent(const QString &path, const QByteArray &content);

// Reads the regular file at path (following links) when it holds at most maxSize bytes,
// never more than maxSize + 1 of them. Empty when read; otherwise why not, naming path.
QString readAtMost(const QString &path, qsizetype maxSize, QByteArray &content);

}  // namespace OwnFile
