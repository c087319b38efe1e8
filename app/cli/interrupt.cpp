#include "app/cli/interrupt.h"

#include <csignal>

namespace tcu::cli {

namespace {

volatile std::sig_atomic_t raised = 0;

void onInterrupt(int) {
    raised = 1;
}

} // namespace

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a prompt's read ends
    sigaction(SIGINT, &action, nullptr);
}

bool interrupted() {
    return raised != 0;
}

} // namespace tcu::cli
