// The event monitor: EventProc turns the serial core library's reports into comm
// event notifications; the threshold, priority and yield properties tune it.
#include "control/events/priority.h"
#include "control/object/vort_ctrl.h"
#include "serilon/serilon.h"
#include "vort/comm_events.h"
#include "vort/dispids.h"

namespace vort {

namespace {

constexpr int32_t kReceiveBits = SERIAL_EV_RXCHAR | SERIAL_EV_RXFLAG | SERIAL_EV_RX80FULL;
constexpr int32_t kLineBits = SERIAL_EV_CTS | SERIAL_EV_DSR | SERIAL_EV_CD | SERIAL_EV_RING;

} // namespace

void CVortCtrl::postCommEvent(int16_t code, intptr_t lParam) {
    PostNotification((static_cast<uint32_t>(static_cast<uint16_t>(code)) << 16) | kNotifyComm,
                     lParam);
}

int32_t CVortCtrl::onLibraryEvent(int32_t id, int32_t mask) {
    if (!portOpenFlag_.load())
        return 0;
    int16_t idle = 0;
    // A report that arrives while another is being handled is dropped, not queued.
    if (!eventReentry_.compare_exchange_strong(idle, 1))
        return 0;
    int32_t result = 0;

    if (mask & SERIAL_EV_LINE_ERROR) {
        const int32_t errors = SerialLineErrors(id);
        if (errors & SERIAL_ERR_OVERRUN)
            postCommEvent(kCommErOverrun);
        if (errors & SERIAL_ERR_PARITY)
            postCommEvent(kCommErRxParity);
        if (errors & SERIAL_ERR_FRAMING)
            postCommEvent(kCommErFrame);
    }

    if (protocol_.load() == kProtocol3964) {
        if (mask & SERIAL_EV_RXFLAG)
            link_->signalReceive();
        if (mask & SERIAL_EV_TXEMPTY)
            link_->signalSend();
    } else {
        if ((mask & SERIAL_EV_TXEMPTY) && sThreshold_.load() > 0)
            postCommEvent(kCommEvSend);
        const int16_t threshold = rThreshold_.load();
        if ((mask & kReceiveBits) && threshold > 0) {
            // The whole count: a 16-bit cut would turn 70,000 waiting bytes into 4,464.
            const int32_t waiting = SerialQueueCount(id, SERIAL_DIR_INPUT);
            if (waiting > inBufferSize_.load())
                postCommEvent(kCommErRxOver);
            else if (waiting >= threshold)
                postCommEvent(kCommEvReceive);
        }
    }

    if (mask & SERIAL_EV_BREAK)
        postCommEvent(kCommErBreak);

    if (mask & kLineBits) {
        // The connection type decides what an incoming call posts, or refuses it.
        if (mask & SERIAL_EV_RING)
            result = onIncomingCall(id);
        if (mask & SERIAL_EV_CTS)
            postCommEvent(kCommEvCts);
        if (mask & SERIAL_EV_DSR)
            postCommEvent(kCommEvDsr);
        if (mask & SERIAL_EV_CD)
            postCommEvent(kCommEvCd);
    }

    if (SerialQueueFull(id, SERIAL_DIR_OUTPUT))
        postCommEvent(kCommErTxFull);

    eventReentry_.fetch_sub(1);
    return result;
}

void CVortCtrl::applyPriority() {
    if (!portOpenFlag_.load())
        return;
    const int32_t id = openCommId_;
    SerialPriorityNotice(id);
    for (int32_t which = 0; which <= 1; ++which)
        if (intptr_t tid = SerialThreadHandle(id, which))
            applyThreadPriority(static_cast<pid_t>(tid), priority_.load());
    // The modem's dial thread, while it runs.
    if (const pid_t tid = dial_.threadId())
        applyThreadPriority(tid, priority_.load());
}

void CVortCtrl::setRThreshold(int16_t value) {
    rThreshold_ = value;
    propertyWritten(kDispRThreshold);
}

void CVortCtrl::setSThreshold(int16_t value) {
    sThreshold_ = value;
    propertyWritten(kDispSThreshold);
}

void CVortCtrl::setPriority(int16_t value) {
    if (value < 0 || value > 5)
        return;
    priority_ = value;
    applyPriority();
    propertyWritten(kDispPriority);
}

void CVortCtrl::setYieldState(bool on) {
    yieldState_ = on;
    if (portOpenFlag_.load())
        SerialSetYield(on ? 1 : 0);
    propertyWritten(kDispYieldState);
}

} // namespace vort

// Called by the serial core library from its thread for every report of an open
// comm id.
extern "C" __attribute__((visibility("default"))) int32_t EventProc(int32_t commId, int32_t mask) {
    auto* control = reinterpret_cast<vort::CVortCtrl*>(SerialGetUserData(commId, 0));
    if (!control)
        return 0;
    return control->onLibraryEvent(commId, mask);
}
