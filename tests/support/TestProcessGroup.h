// The processes a test starts end with the test, however the test ends.
//
// A test killed with SIGKILL (a test runner's time-out) has no chance to stop the session
// bus, the accessibility bus or a compositor it started, and some of those are not even
// its children any more (D-Bus activation double-forks, a launcher's own bus outlives
// it). So the test heads a process group of its own, which everything it starts joins by
// default, and a small watcher process outside that group ends the whole group as soon
// as the test has ended: it sees the end as the end of a pipe only the test holds.
#pragma once

namespace TestProcessGroup {

// Makes this process the head of a new process group and starts the watcher. Call it
// first in main(), before any other process or thread is started.
void guard();

}  // namespace TestProcessGroup
