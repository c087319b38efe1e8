#include "tools/container/event_wait.h"

#include <QEventLoop>
#include <QTimer>

namespace vort::container {

bool waitWhileRunningEvents(int timeoutMs, int pollMs, const std::function<bool()>& done,
                            std::function<void()>* kick) {
    if (done())
        return true;
    QEventLoop loop;
    bool result = false;
    const auto check = [&] {
        if (!result && done()) {
            result = true;
            loop.quit();
        }
    };
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        check();
        loop.quit();
    });
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    if (kick)
        *kick = check;
    deadline.start(timeoutMs);
    if (pollMs > 0)
        poll.start(pollMs);
    loop.exec();
    if (kick)
        *kick = nullptr;
    return result;
}

void runEventsFor(int ms) {
    waitWhileRunningEvents(ms, 0, [] { return false; });
}

} // namespace vort::container
