#pragma once

namespace carillon::platform {

// Asks the scheduler to favour the calling thread a little, as a worker that
// talks to a device in lock-step wants. Silently keeps the normal priority
// where the system refuses.
void RaiseCurrentThreadPriority();

}  // namespace carillon::platform
