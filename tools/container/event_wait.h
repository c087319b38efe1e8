// Waiting while the owner's thread keeps running its Qt event loop, so the control's
// posted notifications are delivered and its events fire during the wait.
// Owner's thread only; needs a QCoreApplication.
#pragma once

#include <functional>

namespace vort::container {

// Runs the event loop until done() is true or timeoutMs has passed; true when done.
// done is asked at once, every pollMs (0: only when kick is called) and whenever
// the caller's kick function, handed out through *kick, is called (for instance by
// an event arriving). done is asked a last time when the time is up.
bool waitWhileRunningEvents(int timeoutMs, int pollMs, const std::function<bool()>& done,
                            std::function<void()>* kick = nullptr);

// Runs the event loop for ms milliseconds.
void runEventsFor(int ms);

} // namespace vort::container
