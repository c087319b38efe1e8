// ControlWindow: the control's hidden window in the owner's thread.
//
// Library and worker threads post notifications to it from any thread; each one is
// delivered as a Qt event while the owner's thread runs its event loop or pumps
// events, and handed to CVortCtrl::OnCommNotify there. Notifications still queued
// when the window is destroyed are dropped with it.
#pragma once

#include <QObject>

#include "control/object/vort_ctrl.h"

namespace vort {

class ControlWindow final : public QObject, public NotificationWindow {
public:
    // Must be created in the owner's thread; a QCoreApplication must exist for
    // notifications to be delivered.
    explicit ControlWindow(CVortCtrl& control);
    ~ControlWindow() override;

    void post(uint32_t wParam, intptr_t lParam) override;
    int32_t handle() const override { return handle_; }

protected:
    bool event(QEvent* e) override;

private:
    CVortCtrl& control_;
    int32_t handle_;
};

} // namespace vort
