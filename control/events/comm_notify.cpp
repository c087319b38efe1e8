// OnCommNotify: the owner's thread side of the event monitor.
#include "control/object/vort_ctrl.h"
#include "vort/comm_events.h"
#include "vort/dispids.h"

namespace vort {

int16_t CVortCtrl::commEvent() {
    return commEvent_.exchange(0);
}

void CVortCtrl::OnCommNotify(uint32_t wParam, intptr_t lParam) {
    const uint16_t kind = static_cast<uint16_t>(wParam & 0xFFFF);
    const int16_t code = static_cast<int16_t>(wParam >> 16);
    switch (kind) {
    case kNotifyComm:
        // A ring or incoming connection: its text first (this takes over the record).
        if (code == kCommEvRing)
            describeIncoming(lParam);
        // Written just before firing, so a handler always reads its own code.
        commEvent_ = code;
        fireEvent(kEventOnComm);
        break;
    case kNotifyModem:
        fireEvent(kEventOnModem, {Variant::i2(code), Variant::i4(static_cast<int32_t>(lParam))});
        break;
    case kNotifyFileInfo:
        fireEvent(kEventOnFileInfo, {Variant::i2(code), Variant::i4(static_cast<int32_t>(lParam))});
        break;
    default:
        break;
    }
}

void CVortCtrl::setInterval(int32_t value) {
    interval_ = value;
    propertyWritten(kDispInterval);
}

} // namespace vort
