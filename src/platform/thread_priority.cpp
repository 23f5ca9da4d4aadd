#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fernhold {

namespace {

// From linux/ioprio.h, which glibc does not wrap.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassIdle = 3;
constexpr int kIoprioClassShift = 13;

} // namespace

int LowerCurrentThreadPriority()
{
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    const bool niced = ::setpriority(PRIO_PROCESS, tid, 19) == 0;
    const bool idleIo = ::syscall(SYS_ioprio_set, kIoprioWhoProcess, static_cast<int>(tid),
                                  kIoprioClassIdle << kIoprioClassShift) == 0;
    return niced && idleIo ? 1 : 0;
}

} // namespace fernhold
