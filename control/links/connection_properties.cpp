// ComType and the modem properties.
#include <algorithm>
#include <climits>

#include "control/libs/serilon.h"
#include "control/object/dispids.h"
#include "control/object/vort_ctrl.h"

namespace vort {

namespace {

constexpr const char16_t* kDefaultInitString = u"ATE0L1M0Q0V1&C1&D2&S1";
constexpr const char16_t* kDefaultAnswerString = u"ATA";

bool isTcp(int16_t t) { return t == kComTypeTcpServer || t == kComTypeTcpClient; }

// Request codes of the connection-type record.
constexpr int16_t kSetType = 0x100;
constexpr int16_t kReadType = 0x200;

#pragma pack(push, 1)
struct TypeRecord {
    int16_t request;
    uint8_t type;
    uint8_t rest[67];
};
#pragma pack(pop)
static_assert(sizeof(TypeRecord) == 70);

} // namespace

void CVortCtrl::setComType(int16_t value) {
    if (!isSerialComType(value) && value != kComTypeIsdn && !isTcp(value)) return;
    const int16_t old = comType_;
    const int32_t id = commPort_ - 1;

    TypeRecord record{};
    record.request = kSetType;
    record.type = static_cast<uint8_t>(value);
    const bool applied = ComTypeControl(id, &record) == SERIAL_OK;
    record = TypeRecord{};
    record.request = kReadType;
    // The type the library reports back is the one in force; a library without
    // connection types keeps the value as asked.
    comType_ = applied && ComTypeControl(id, &record) == SERIAL_OK ? record.type : value;

    if (!isSerialComType(old) && isSerialComType(comType_)) {
        if (modemInitString_.empty()) modemInitString_ = kDefaultInitString;
        if (modemAnswerString_.empty()) modemAnswerString_ = kDefaultAnswerString;
        settings_ = "57600,N,8,1";
        settings();  // validated by a read
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

bool CVortCtrl::modemConnect() {
    if (!portOpenFlag_.load()) return false;
    const int32_t id = openCommId_;
    if (!connectedFlag_.load() && SerialCarrier(id) != 0) connectedFlag_ = true;
    return connectedFlag_.load() && SerialCarrier(id) != 0;
}

void CVortCtrl::setModemConnect(bool on) {
    if (on) return;
    if (dialFlag_.load() || dialThreadRunning_.load()) AbortDial(false, portOpenFlag_.load());
    if (portOpenFlag_.load()) {
        ModemAbort(openCommId_);
        ModemHangUp(openCommId_);
        SerialDtrOn(openCommId_);
    }
    connectedFlag_ = false;
}

void CVortCtrl::AbortDial(bool wait, bool /*portOpen*/) {
    if (!dialThreadRunning_.load()) return;
    modemStop_ = true;
    if (!wait) return;
    const int32_t id = activeCommId();
    const uint32_t start = SerialTickStart();
    while (SerialInUse(id) && dialThreadRunning_.load() && SerialTickElapsed(start) < 5000) SerialDelay(50);
}

} // namespace vort
