#include "platform/Thread.h"

// After our headers: its macros would rename names in them.
#include <windows.h>

namespace carillon::platform {

void RaiseCurrentThreadPriority() {
    // Above normal needs no privilege; a refusal still leaves a working thread.
    (void)::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
}

}  // namespace carillon::platform
