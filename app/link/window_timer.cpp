#include "app/link/window_timer.h"

namespace tcu {

WindowTimer::WindowTimer(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &WindowTimer::tick);
}

void WindowTimer::setInterval(int ms) {
    interval_ = ms < 0 ? 0 : ms;
    if (enabled_)
        apply();
}

void WindowTimer::setEnabled(bool on) {
    if (on == enabled_)
        return;
    enabled_ = on;
    apply();
}

void WindowTimer::apply() {
    if (enabled_ && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}

} // namespace tcu
