#include "app/cli/interrupt.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tcu::cli {

namespace {

volatile std::sig_atomic_t raised = 0;
// The wake pipe: read end, write end.
int wake[2] = {-1, -1};

void onInterrupt(int) {
    raised = 1;
    if (wake[1] >= 0) {
        const int saved = errno;
        const char byte = 1;
        // A full pipe already wakes the reader: nothing more to say.
        [[maybe_unused]] const ssize_t n = ::write(wake[1], &byte, 1);
        errno = saved;
    }
}

} // namespace

void installInterruptHandler() {
    if (wake[0] < 0 && ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        wake[0] = wake[1] = -1;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a prompt's read ends
    sigaction(SIGINT, &action, nullptr);
}

bool interrupted() {
    return raised != 0;
}

int interruptWakeFd() {
    return wake[0];
}

void drainInterruptWake() {
    if (wake[0] < 0)
        return;
    char bytes[64];
    while (::read(wake[0], bytes, sizeof bytes) > 0) {
    }
}

} // namespace tcu::cli
