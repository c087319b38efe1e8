// Ctrl-C for tcu: SIGINT sets a flag that the session's waits look at (they pump
// messages at least every few milliseconds), so an interrupted command ends through its
// own code (a transfer is cancelled as Cancel does it, the port is closed) instead of
// dying with the port in binary mode or at another rate.
#pragma once

namespace tcu::cli {

// Installs the handler; a read at a prompt is interrupted, not restarted.
void installInterruptHandler();
// True once SIGINT arrived.
bool interrupted();

} // namespace tcu::cli
