// Ctrl-C for tcu: SIGINT sets a flag that the session's waits look at, and wakes them
// (it writes to a pipe the event loop watches), so an interrupted command ends through
// its own code (a transfer is cancelled as Cancel does it, the port is closed) instead
// of dying with the port in binary mode or at another rate.
#pragma once

namespace tcu::cli {

// Installs the handler; a read at a prompt is interrupted, not restarted.
void installInterruptHandler();
// True once SIGINT arrived.
bool interrupted();
// The end of the pipe that becomes readable when SIGINT arrives (-1 before the handler
// is installed, or when the pipe could not be made: the flag still works). The reader
// empties it with drainInterruptWake.
int interruptWakeFd();
void drainInterruptWake();

} // namespace tcu::cli
