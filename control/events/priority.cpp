#include "control/events/priority.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vort {

int niceForPriority(int16_t priority) {
    // very low, low, medium (normal), high, very high, ultra high (time-critical)
    static constexpr int kNice[] = {10, 5, 0, -5, -10, -20};
    if (priority < 0 || priority > 5)
        return 0;
    return kNice[priority];
}

void applyThreadPriority(pid_t tid, int16_t priority) {
    if (tid == 0)
        tid = static_cast<pid_t>(syscall(SYS_gettid));
    int nice = niceForPriority(priority);
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0)
        return;
    if (errno != EACCES && errno != EPERM)
        return;
    // Not privileged for that much: go as high as RLIMIT_NICE allows (its limit
    // is 20 - lowest nice), or stay where we are.
    rlimit lim{};
    if (getrlimit(RLIMIT_NICE, &lim) != 0)
        return;
    int floorNice = 20 - static_cast<int>(std::min<rlim_t>(lim.rlim_cur, 40));
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), std::max(nice, floorNice));
}

} // namespace vort
