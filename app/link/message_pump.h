// Letting pending window messages run from inside a procedure.
//
// The program's waits (acknowledgement, answer, ping, a transfer's watch) are loops that
// pump messages on every pass; the control's events and the window timers are delivered
// only then. A pass runs what is pending and returns at once. When nothing is pending it
// sleeps in the event loop until the next event arrives (a posted event such as the
// control's OnComm, a timer's tick, a socket becoming readable), so a wait costs no CPU
// while nothing happens and reacts to an event as soon as it comes. The three forms
// (PumpMessages, PumpMessagesUntil, WaitForMessage) differ only in how long that
// sleep may last.
//
// GUI thread only; needs a QCoreApplication (without one a pass does nothing).
#pragma once

#include <chrono>

namespace tcu {

// Sleeps at most about 1 ms: for loops that look at the clock or at state that no event
// announces.
void PumpMessages();
// Sleeps at most until deadline (steady clock); a deadline already past: no sleep.
void PumpMessagesUntil(std::chrono::steady_clock::time_point deadline);
// Sleeps until the next event, however long that takes: for a wait each of whose ends
// comes as an event (its timer's tick, the control's receive event, the program ending).
void WaitForMessage();

} // namespace tcu
