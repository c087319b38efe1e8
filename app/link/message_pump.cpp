#include "app/link/message_pump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace tcu {

namespace {

// Bounds the wait of one pass: a precise 1 ms single shot, owned by the application
// object (and made again should there ever be a new one).
QTimer& wakeTimer() {
    static QPointer<QTimer> timer;
    if (!timer) {
        timer = new QTimer(QCoreApplication::instance());
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(1);
    }
    return *timer;
}

} // namespace

void PumpMessages() {
    if (!QCoreApplication::instance())
        return;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return;
    // Whatever is pending runs now, without waiting.
    if (dispatcher->processEvents(QEventLoop::AllEvents))
        return;
    // Nothing was pending: sleep until an event comes, the wake timer at the latest.
    QTimer& wake = wakeTimer();
    wake.start();
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake.stop();
}

} // namespace tcu
