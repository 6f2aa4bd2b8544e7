// The way to the directory servers: each command and each station list fetch asks it for
// a fresh stream, which the asker owns.
#pragma once

class DirectoryStream;
class QObject;

class DirectoryRoute
{
public:
    virtual ~DirectoryRoute() = default;
    virtual DirectoryStream *newStream(QObject *parent) = 0;
};
