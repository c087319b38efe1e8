#include "control/events/notify_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <atomic>

namespace vort {

namespace {

// The WM_COMMNOTIFY notification as a Qt event.
class CommNotifyEvent final : public QEvent {
public:
    static QEvent::Type kind() {
        static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    CommNotifyEvent(uint32_t wParam, intptr_t lParam)
        : QEvent(kind()), wParam_(wParam), lParam_(lParam) {}
    uint32_t wParam() const { return wParam_; }
    intptr_t lParam() const { return lParam_; }

private:
    uint32_t wParam_;
    intptr_t lParam_;
};

std::atomic<int32_t> nextHandle{0x1000};

} // namespace

ControlWindow::ControlWindow(CVortCtrl& control)
    : control_(control), handle_(nextHandle.fetch_add(4)) {
    CommNotifyEvent::kind(); // register the type in the owner's thread, before any post
}

ControlWindow::~ControlWindow() = default;

void ControlWindow::post(uint32_t wParam, intptr_t lParam) {
    // postEvent is safe from any thread and only queues.
    QCoreApplication::postEvent(this, new CommNotifyEvent(wParam, lParam));
}

bool ControlWindow::event(QEvent* e) {
    if (e->type() == CommNotifyEvent::kind()) {
        auto* n = static_cast<CommNotifyEvent*>(e);
        control_.OnCommNotify(n->wParam(), n->lParam());
        return true;
    }
    return QObject::event(e);
}

} // namespace vort
