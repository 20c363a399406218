#include "platform/Thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace carillon::platform {

void RaiseCurrentThreadPriority() {
    // A lower nice value needs a privilege most users lack; a refusal is fine.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    (void)::setpriority(PRIO_PROCESS, tid, -5);
}

}  // namespace carillon::platform
