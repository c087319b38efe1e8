// Letting pending window messages run from inside a procedure.
//
// The program's waits (acknowledgement, answer, ping) are busy loops that call
// PumpMessages on every pass; the control's events and the window timers are delivered
// only then. One pass runs what is pending and returns; when nothing is pending it
// waits for the next event, but at most about 1 ms, so a loop built on it neither
// spins a core nor reacts late.
//
// GUI thread only; needs a QCoreApplication.
#pragma once

namespace tcu {

void PumpMessages();

} // namespace tcu
