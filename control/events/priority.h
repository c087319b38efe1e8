// Thread priorities: the Priority property (0..5) applied to a thread.
#pragma once

#include <cstdint>
#include <sys/types.h>

namespace vort {

// The nice value a Priority stands for: 0 very low .. 5 ultra high (time-critical).
int niceForPriority(int16_t priority);

// Sets the priority of the thread with kernel id tid (0: the calling thread). Raises
// only as far as the process may (RLIMIT_NICE); never fails for lack of privilege.
void applyThreadPriority(pid_t tid, int16_t priority);

} // namespace vort
