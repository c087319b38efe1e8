#include "control/object/vort_ctrl.h"

#include "control/libs/serilon.h"
#include "platform/component/error.h"

namespace vort {

using component::ComponentError;

CVortCtrl::CVortCtrl() = default;

CVortCtrl::~CVortCtrl() {
    ClosePort();
    // The library keeps user slots across close; a slot still naming this control
    // would let a late callback reach freed memory.
    for (int32_t id = 0; id < SERIAL_COMM_IDS; ++id)
        if (SerialGetUserData(id, 0) == reinterpret_cast<intptr_t>(this)) SerialSetUserData(id, 0, 0);
}

void CVortCtrl::requireRunMode() const {
    if (!userMode_) throw ComponentError(component::kErrRuntimeOnly, component::standardErrorText(component::kErrRuntimeOnly));
}

void CVortCtrl::propertyChanged(int32_t dispid) {
    if (changeObserver_) changeObserver_(dispid);
}

void CVortCtrl::PostNotification(uint32_t wParam, intptr_t lParam) {
    if (NotificationWindow* w = window_.load()) w->post(wParam, lParam);
}

bool CVortCtrl::jobRunning() const {
    return transferState_.load() != kTransferIdle || dialFlag_.load();
}

} // namespace vort
