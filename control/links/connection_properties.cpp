// ComType and the modem properties: the connection type in the library, the modem
// texts, ModemConnect starting and ending the dial job (dial_job.cpp), and AbortDial.
#include <algorithm>
#include <climits>

#include "control/object/vort_ctrl.h"
#include "platform/component/text.h"
#include "serilon/serilon.h"
#include "vort/dispids.h"

namespace vort {

namespace {

constexpr const char16_t* kDefaultInitString = u"ATE0L1M0Q0V1&C1&D2&S1";
constexpr const char16_t* kDefaultAnswerString = u"ATA";
// ModemResult holds at most this many characters.
constexpr size_t kModemResultMax = 80;

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
        if (!portOpenFlag_.load() || transfer_.state() != kTransferIdle || dial_.dialling() ||
            dial_.threadExists())
            return;
        // The dial works on these copies: the host may change the properties meanwhile.
        dial_.start({.commId = openCommId_,
                     .number = component::toLatin1(modemPhoneNumber_),
                     .answer = component::toLatin1(modemAnswerString_),
                     .init = component::toLatin1(modemInitString_),
                     .timeoutMs = modemTimeoutMs_,
                     .priority = priority_.load()});
        return;
    }
    if (dial_.dialling() || dial_.threadExists())
        AbortDial(false, portOpenFlag_.load());
    if (portOpenFlag_.load()) {
        ModemAbort(openCommId_);
        ModemHangUp(openCommId_);
        SerialDtrOn(openCommId_);
    }
    connectedFlag_ = false;
}

void CVortCtrl::AbortDial(bool wait, bool /*portOpen*/) {
    if (!dial_.threadExists())
        return;
    dial_.requestStop();
    if (!wait)
        return;
    const int32_t id = activeCommId();
    const uint32_t start = SerialTickStart();
    while (SerialInUse(id) && dial_.threadExists() && SerialTickElapsed(start) < 5000)
        SerialDelay(50);
}

} // namespace vort
