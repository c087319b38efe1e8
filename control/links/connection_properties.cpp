// ComType and the modem properties: the connection type in the library, the modem
// texts, ModemConnect with its dial thread, AbortDial and the ModemInfoProc callback.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <unistd.h>

#include "control/events/priority.h"
#include "control/libs/serilon.h"
#include "control/object/vort_ctrl.h"
#include "platform/component/text.h"
#include "vort/dispids.h"

extern "C" int32_t ModemInfoProc(int32_t commId, int32_t action, int32_t timeLeftMs,
                                 int32_t reserved);

namespace vort {

namespace {

constexpr const char16_t* kDefaultInitString = u"ATE0L1M0Q0V1&C1&D2&S1";
constexpr const char16_t* kDefaultAnswerString = u"ATA";
// ModemResult holds at most this many characters.
constexpr size_t kModemResultMax = 80;
// The modem's own wait for carrier (S7) ends this much before the control's time-out.
constexpr int32_t kCarrierMarginMs = 10000;

bool isTcp(int16_t t) {
    return t == kComTypeTcpServer || t == kComTypeTcpClient;
}

} // namespace

void CVortCtrl::setComType(int16_t value) {
    if (!isSerialComType(value) && value != kComTypeIsdn && !isTcp(value))
        return;
    const int16_t old = comType_;
    const int32_t id = commPort_ - 1;

    SerialTcpRecord record{};
    record.request = SERIAL_REQ_WRITE;
    record.type = static_cast<uint8_t>(value);
    const bool applied = ComTypeControl(id, &record) == SERIAL_OK;
    record = SerialTcpRecord{};
    record.request = SERIAL_REQ_READ_TYPE;
    // The type the library reports back is the one in force.
    comType_ = applied && ComTypeControl(id, &record) == SERIAL_OK ? record.type : value;
    comTypeShared_ = comType_;

    if (!isSerialComType(old) && isSerialComType(comType_)) {
        if (modemInitString_.empty())
            modemInitString_ = kDefaultInitString;
        if (modemAnswerString_.empty())
            modemAnswerString_ = kDefaultAnswerString;
        settings_ = "57600,N,8,1";
        settings(); // validated by a read
    } else if (old != kComTypeIsdn && comType_ == kComTypeIsdn) {
        settings_.clear();
        modemAnswerString_.clear();
    } else if (!isTcp(old) && isTcp(comType_)) {
        settings_.clear();
        modemAnswerString_.clear();
    }
    propertyWritten(kDispComType);
}

void CVortCtrl::setModemInitString(std::u16string text) {
    modemInitString_ = text.empty() ? std::u16string(kDefaultInitString) : std::move(text);
    propertyWritten(kDispModemInitString);
}

void CVortCtrl::setModemAnswerString(std::u16string text) {
    modemAnswerString_ = isSerialComType(comType_) ? std::move(text) : std::u16string();
    propertyWritten(kDispModemAnswerString);
}

void CVortCtrl::setModemPhoneNumber(std::u16string text) {
    modemPhoneNumber_ = std::move(text);
    propertyWritten(kDispModemPhoneNumber);
}

void CVortCtrl::setModemTimeout(int32_t seconds) {
    modemTimeoutMs_ = std::clamp(seconds, 2, INT32_MAX / 1000) * 1000;
    propertyWritten(kDispModemTimeout);
}

std::u16string CVortCtrl::modemResult() const {
    std::lock_guard lock(modemResultMutex_);
    return modemResult_;
}

void CVortCtrl::setModemResult(const std::string& text) {
    std::u16string value = component::fromLatin1(text.substr(0, kModemResultMax));
    std::lock_guard lock(modemResultMutex_);
    modemResult_ = std::move(value);
}

bool CVortCtrl::modemConnect() {
    if (!portOpenFlag_.load())
        return false;
    const int32_t id = openCommId_;
    if (!connectedFlag_.load() && SerialCarrier(id) != 0)
        connectedFlag_ = true;
    return connectedFlag_.load() && SerialCarrier(id) != 0;
}

void CVortCtrl::setModemConnect(bool on) {
    if (on) {
        if (!portOpenFlag_.load() || transferState_.load() != kTransferIdle || dialFlag_.load() ||
            dialThreadRunning_.load())
            return;
        if (dialThread_.thread.joinable())
            dialThread_.thread.join(); // a finished job
        modemStop_ = false;
        dialThreadRunning_ = true;
        try {
            dialThread_.thread = std::thread([this] { runDial(); });
        } catch (const std::system_error&) {
            dialThreadRunning_ = false;
        }
        return;
    }
    if (dialFlag_.load() || dialThreadRunning_.load())
        AbortDial(false, portOpenFlag_.load());
    if (portOpenFlag_.load()) {
        ModemAbort(openCommId_);
        ModemHangUp(openCommId_);
        SerialDtrOn(openCommId_);
    }
    connectedFlag_ = false;
}

void CVortCtrl::runDial() {
    // The owner's thread may change these meanwhile: the job works on copies.
    const int32_t id = openCommId_;
    const std::string number = component::toLatin1(modemPhoneNumber_);
    const std::string answer = component::toLatin1(modemAnswerString_);
    const std::string init = component::toLatin1(modemInitString_);
    const int32_t timeoutMs = modemTimeoutMs_;

    dialFlag_ = true;
    dialThreadId_ = ::gettid();
    applyThreadPriority(0, priority_.load());
    SerialWaitLeave();
    const std::string text = number.empty() ? answer : number;
    if (!init.empty() && !modemStop_.load()) {
        // S7 is the modem's own wait for carrier, in seconds; a short ModemTimeout would
        // make it 0 or negative, which a modem refuses, so it is at least 1.
        const int32_t s7 = std::clamp((timeoutMs - kCarrierMarginMs) / 1000, 1, 255);
        ModemCommand(id, (init + "S7=" + std::to_string(s7)).c_str());
        SerialDelay(1000);
    }
    if (!text.empty() && !modemStop_.load())
        ModemDial(id, text.c_str());
    char result[96] = {};
    int32_t connected = 0;
    if (modemStop_.load())
        std::snprintf(result, sizeof result, "ABORTED");
    else
        connected = ModemWaitConnect(id, timeoutMs, 1, result, &ModemInfoProc);
    result[kModemResultMax] = '\0';
    setModemResult(result);
    connectedFlag_ = (connected & 0xFF) != 0;
    dialFlag_ = false;
    if (!connectedFlag_.load() && portOpenFlag_.load()) {
        ModemAbort(id);
        ModemHangUp(id);
        SerialDtrOn(id);
    }
    dialThreadId_ = 0;
    dialThreadRunning_ = false;
}

void CVortCtrl::AbortDial(bool wait, bool /*portOpen*/) {
    if (!dialThreadRunning_.load())
        return;
    modemStop_ = true;
    if (!wait)
        return;
    const int32_t id = activeCommId();
    const uint32_t start = SerialTickStart();
    while (SerialInUse(id) && dialThreadRunning_.load() && SerialTickElapsed(start) < 5000)
        SerialDelay(50);
}

int32_t CVortCtrl::onModemInfo(int32_t /*id*/, int32_t action, int32_t timeLeftMs) {
    if (!portOpenFlag_.load())
        return 0;
    PostNotification((static_cast<uint32_t>(static_cast<uint16_t>(action)) << 16) | kNotifyModem,
                     timeLeftMs / 1000);
    return (action == MODEM_ACTION_TIMEOUT || modemStop_.load()) ? 0 : 1;
}

} // namespace vort

// Called by the serial core library from the dial thread while it waits for a modem
// connection.
extern "C" __attribute__((visibility("default"))) int32_t
ModemInfoProc(int32_t commId, int32_t action, int32_t timeLeftMs, int32_t /*reserved*/) {
    auto* control = reinterpret_cast<vort::CVortCtrl*>(SerialGetUserData(commId, 0));
    if (!control)
        return 0;
    return control->onModemInfo(commId, action, timeLeftMs);
}
