// PortOpen: opening and closing the comm id, and the job abort that closing needs.
#include <chrono>
#include <thread>

#include "control/object/vort_ctrl.h"
#include "control/port/handshaking.h"
#include "platform/component/error.h"
#include "serilon/serilon.h"
#include "transvex/transvex.h"
#include "vort/dispids.h"

extern "C" int32_t EventProc(int32_t commId, int32_t mask);

namespace vort {

using component::ComponentError;

namespace {

std::string libraryReason(int32_t id) {
    char reason[512] = {};
    SerialErrorText(id, reason, sizeof reason);
    return reason;
}

} // namespace

void CVortCtrl::setPortOpen(bool open) {
    if (open) {
        openPort();
    } else {
        ClosePort();
    }
    propertyWritten(kDispPortOpen);
}

void CVortCtrl::openPort() {
    const int32_t id = commPort_ - 1;

    // A connection a server handed to this comm id is taken over, not opened.
    const bool adopted = comType_ == kComTypeTcpClient && SerialGetUserData(id, 4) != 0;
    if (SerialInUse(id) && !adopted) {
        std::string text = component::standardErrorText(component::kErrFileAlreadyOpen);
        text += ": COM" + std::to_string(commPort_) + " is already open";
        throw ComponentError(component::kErrFileAlreadyOpen, text);
    }

    eventReentry_ = 0;
    commEvent_ = 0;
    // The jobs' own flags are theirs: each job clears them when it starts.
    connectedFlag_ = false;

    if (adopted) {
        SerialSetUserData(id, 4, 0);
        if (!SerialInUse(id)) {
            // The connection ended and its comm id was needed for a newer one.
            std::string text = component::standardErrorText(component::kErrDeviceUnavailable);
            text += ": COM" + std::to_string(commPort_) +
                    ": the connection handed to this port ended and was closed before it was"
                    " taken over";
            setComType(comType_);
            throw ComponentError(component::kErrDeviceUnavailable, text);
        }
        connectedFlag_ = (SerialCarrier(id) & 0xFF) != 0;
    } else {
        SerialOpenPort(id);
    }
    // A handed-on connection whose peer has already gone is still taken over: its
    // bytes are read, then the hang-up is reported.
    const int32_t status = SerialOpenStatus(id);
    if (status != SERIAL_OK && !(adopted && status == SERIAL_E_HUNG_UP)) {
        std::string text = component::standardErrorText(component::kErrDeviceUnavailable);
        std::string reason = libraryReason(id);
        if (!reason.empty())
            text += ": " + reason;
        SerialClosePort(id);
        setComType(comType_);
        throw ComponentError(component::kErrDeviceUnavailable, text);
    }
    openCommId_ = id;

    // The network types have no line: their line values carry no meaning.
    LineSettings line;
    if (!isNetworkType() && !parseStoredSettings(line)) {
        // A stored text that does not parse makes the open end quietly; a Settings
        // read then restores the default text.
        SerialClosePort(id);
        return;
    }

    portOpenFlag_ = true;
    SerialSetLine(id, static_cast<int32_t>(line.baud), line.dataBits, line.stopBits, line.parity,
                  flowFlagsFor(handshaking_));
    SerialSetUserData(id, 0, reinterpret_cast<intptr_t>(this));
    SerialSetBuffers(id, inBufferSize_.load(), outBufferSize_);
    SerialResetOption(0);
    applyPriority();
    SerialSetYield(yieldState_ ? 1 : 0);
    if (handshaking_ == 0) {
        dtrEnable_ ? SerialDtrOn(id) : SerialDtrOff(id);
        rtsEnable_ ? SerialRtsOn(id) : SerialRtsOff(id);
    }
    applyFlowChars();
    SerialSetEventProc(id, &EventProc);
    applyParityReplace();
    applyNullDiscard();
    if (protocol_.load() == kProtocol3964 && !start3964Link())
        protocol_ = kProtocolZmodem;
}

void CVortCtrl::ClosePort() {
    const bool wasOpen = portOpenFlag_.exchange(false);
    const int32_t id = openCommId_;
    if (wasOpen && protocol_.load() == kProtocol3964)
        link_->stop();
    AbortJob(true, true);
    if (wasOpen && SerialInUse(id)) {
        SerialSetEventProc(id, nullptr);
        SerialClosePort(id);
    }
    eventReentry_ = 0;
}

void CVortCtrl::AbortJob(bool wait, bool enabled) {
    if (!enabled || !jobRunning())
        return;
    const int32_t id = openCommId_;
    dial_.requestStop();
    transfer_.abort();
    XferAbort(id, 10000);
    if (wait)
        waitWhileBusy(id, [this] { return jobRunning(); });
}

void CVortCtrl::waitWhileBusy(int32_t id, const std::function<bool()>& busy) const {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(5000);
    while (SerialInUse(id) && busy() && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(50));
}

} // namespace vort
