// Starts EchoLink when it is not running and the bus knows how to start it, as creating
// its automation object does: the bus is asked whether the contract's name has an owner,
// and if not and the name is activatable, to start its program and wait until that
// program owns the name. Every question is asynchronous; while an answer is awaited the
// event loop goes on (the splash keeps painting).
#pragma once

#include <QDBusConnection>
#include <QString>

namespace EchoLinkStarter {

// How long a started EchoLink may take to own its bus name.
inline constexpr int StartTimeoutMs = 10000;

enum class Outcome {
    Running,       // the name has an owner already
    NotInstalled,  // no owner, and the bus cannot start one
    Started,       // the bus started EchoLink, which now owns the name
    StartFailed,   // the bus tried and failed: the program exited, or took too long
};

struct Result
{
    Outcome outcome = Outcome::NotInstalled;
    QString reason;  // StartFailed, or a failing question: the bus's own words
};

// Asks the bus as above; returns once the answer is in, at most after StartTimeoutMs plus
// two bounded questions.
Result startIfActivatable(const QDBusConnection &bus, int startTimeoutMs = StartTimeoutMs);

}  // namespace EchoLinkStarter
