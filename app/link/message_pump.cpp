#include "app/link/message_pump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <optional>

namespace tcu {

namespace {

using Clock = std::chrono::steady_clock;

// Ends the sleep of a bounded pass: a precise single shot, owned by the application
// object (and made again should there ever be a new one).
QTimer& wakeTimer() {
    static QPointer<QTimer> timer;
    if (!timer) {
        timer = new QTimer(QCoreApplication::instance());
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    return *timer;
}

// One pass; sleeps when nothing was pending, until the next event or, with a deadline,
// until then at the latest. Waiting for more events runs those already pending without
// sleeping, so a pass asks the dispatcher once.
void pass(std::optional<Clock::time_point> deadline) {
    if (!QCoreApplication::instance())
        return;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return;
    if (!deadline) {
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        return;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
    if (left.count() <= 0) {
        dispatcher->processEvents(QEventLoop::AllEvents);
        return;
    }
    QTimer& wake = wakeTimer();
    wake.start(static_cast<int>(std::min<long long>(left.count(), INT32_MAX)));
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake.stop();
}

} // namespace

void PumpMessages() {
    pass(Clock::now() + std::chrono::milliseconds(1));
}

void PumpMessagesUntil(Clock::time_point deadline) {
    pass(deadline);
}

void WaitForMessage() {
    pass(std::nullopt);
}

} // namespace tcu
