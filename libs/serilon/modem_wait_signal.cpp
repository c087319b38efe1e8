#include "libs/serilon/modem_wait_signal.h"

#include <csignal>
#include <mutex>

namespace serilon {

namespace {

void ignoreSignal(int) {}

} // namespace

int modemWaitSignal() {
    static std::once_flag once;
    static int chosen = 0;
    std::call_once(once, [] {
        // A few above SIGRTMIN, away from the ones programs most often take.
        const int sig = SIGRTMIN + 4;
        struct sigaction current {};
        if (sig > SIGRTMAX || ::sigaction(sig, nullptr, &current) < 0 ||
            current.sa_handler != SIG_DFL || (current.sa_flags & SA_SIGINFO)) {
            return;
        }
        struct sigaction action {};
        action.sa_handler = ignoreSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: the interrupted ioctl must return
        if (::sigaction(sig, &action, nullptr) == 0) {
            chosen = sig;
        }
    });
    return chosen;
}

} // namespace serilon
