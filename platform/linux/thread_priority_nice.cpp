#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace quorvel::platform {

namespace {
constexpr int kBackgroundNice = 10;
} // namespace

void lowerCurrentThreadPriority()
{
    // A thread's own nice value is reached through its thread id, and it starts as the process's.
    const id_t thread = static_cast<id_t>(gettid());
    errno = 0;
    const int process = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    const int current = getpriority(PRIO_PROCESS, thread);
    if (errno != 0)
        return;
    const int wanted = std::min(process + kBackgroundNice, 19);
    if (current < wanted)
        setpriority(PRIO_PROCESS, thread, wanted);
}

} // namespace quorvel::platform
