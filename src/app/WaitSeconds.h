// The responsive wait used during start-up.
#pragma once

namespace WaitTimer {

// Blocks the caller for `seconds` whole seconds while the user-interface thread keeps
// dispatching window events, so every window goes on painting and reacting. The thread
// sleeps in the event dispatcher until the deadline or the next event; input during the
// wait does not lengthen it. Below 1 it dispatches pending events once and returns.
// It always returns, also when the application is asked to quit meanwhile.
void WaitSeconds(int seconds);

}  // namespace WaitTimer
