// The signal that interrupts a thread blocked waiting for a modem-line change.
#pragma once

namespace serilon {

// A real-time signal with a do-nothing handler installed without SA_RESTART, so that a
// blocking ioctl in the signalled thread returns EINTR. Installed once per process, and
// only when the signal's disposition is still the default; 0 when the host uses it, in
// which case line watching polls instead.
int modemWaitSignal();

} // namespace serilon
