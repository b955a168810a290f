// Sessions side by side, each on a worker thread of its own, as a send run runs its stations.
#pragma once

#include <functional>

namespace testsupport {

// Calls session(0) … session(count - 1) at once, each on its own QThread from within that
// thread's event loop, and blocks this thread (dispatching none of its events) until all have
// returned. What a session throws fails the test; sessions still running after `limitMs` end
// the program, since a thread stuck in a wait cannot be ended from outside.
void runOnWorkerThreads(int count, const std::function<void(int index)>& session,
                        int limitMs = 60000);

} // namespace testsupport
