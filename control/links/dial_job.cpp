#include "control/links/dial_job.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <unistd.h>

#include "control/events/priority.h"
#include "control/object/vort_ctrl.h"
#include "serilon/serilon.h"

extern "C" int32_t ModemInfoProc(int32_t commId, int32_t action, int32_t timeLeftMs,
                                 int32_t reserved);

namespace vort {

namespace {

// ModemResult holds at most this many characters.
constexpr size_t kModemResultMax = 80;
// The modem's own wait for carrier (S7) ends this much before the control's time-out.
constexpr int32_t kCarrierMarginMs = 10000;

} // namespace

DialJob::DialJob(CVortCtrl& owner) : owner_(owner) {}

DialJob::~DialJob() {
    join();
}

void DialJob::join() {
    if (thread_.joinable())
        thread_.join();
}

bool DialJob::start(Request request) {
    if (threadRunning_.load())
        return false;
    join(); // a finished job
    stop_ = false;
    threadRunning_ = true;
    try {
        thread_ = std::thread([this, r = std::move(request)] { run(r); });
    } catch (const std::system_error&) {
        threadRunning_ = false;
        return false;
    }
    return true;
}

void DialJob::run(const Request& request) {
    const int32_t id = request.commId;
    dialling_ = true;
    threadId_ = ::gettid();
    applyThreadPriority(0, request.priority);
    SerialWaitLeave();
    const std::string& text = request.number.empty() ? request.answer : request.number;
    if (!request.init.empty() && !stop_.load()) {
        // S7 is the modem's own wait for carrier, in seconds; a short ModemTimeout would
        // make it 0 or negative, which a modem refuses, so it is at least 1.
        const int32_t s7 = std::clamp((request.timeoutMs - kCarrierMarginMs) / 1000, 1, 255);
        ModemCommand(id, (request.init + "S7=" + std::to_string(s7)).c_str());
        SerialDelay(1000);
    }
    if (!text.empty() && !stop_.load())
        ModemDial(id, text.c_str());
    char result[96] = {};
    int32_t connected = 0;
    if (stop_.load())
        std::snprintf(result, sizeof result, "ABORTED");
    else
        connected = ModemWaitConnect(id, request.timeoutMs, 1, result, &ModemInfoProc);
    result[kModemResultMax] = '\0';
    owner_.setModemResult(result);
    const bool up = (connected & 0xFF) != 0;
    owner_.setConnectedFlag(up);
    dialling_ = false;
    if (!up && owner_.isPortOpenFlagSet()) {
        ModemAbort(id);
        ModemHangUp(id);
        SerialDtrOn(id);
    }
    threadId_ = 0;
    threadRunning_ = false;
}

int32_t DialJob::onModemInfo(int32_t action, int32_t timeLeftMs) {
    if (!owner_.isPortOpenFlagSet())
        return 0;
    owner_.PostNotification((static_cast<uint32_t>(static_cast<uint16_t>(action)) << 16) |
                                kNotifyModem,
                            timeLeftMs / 1000);
    return (action == MODEM_ACTION_TIMEOUT || stop_.load()) ? 0 : 1;
}

} // namespace vort

// Called by the serial core library from the dial thread while it waits for a modem
// connection.
extern "C" __attribute__((visibility("default"))) int32_t
ModemInfoProc(int32_t commId, int32_t action, int32_t timeLeftMs, int32_t /*reserved*/) {
    auto* control = reinterpret_cast<vort::CVortCtrl*>(SerialGetUserData(commId, 0));
    if (!control)
        return 0;
    return control->dialJob().onModemInfo(action, timeLeftMs);
}
