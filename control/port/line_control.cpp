// Flow control, the modem lines, break, line errors and the input filters.
#include "control/object/vort_ctrl.h"
#include "control/port/handshaking.h"
#include "platform/component/text.h"
#include "serilon/serilon.h"
#include "vort/dispids.h"

namespace vort {

namespace {

constexpr int16_t kReportedErrors =
    SERIAL_ERR_OVERRUN | SERIAL_ERR_PARITY | SERIAL_ERR_FRAMING | SERIAL_ERR_BREAK;

} // namespace

int16_t CVortCtrl::handshaking() {
    if (portOpenFlag_.load())
        return handshakingFor(SerialGetFlow(openCommId_));
    return handshaking_;
}

void CVortCtrl::setHandshaking(int16_t value) {
    handshaking_ = value;
    if (portOpenFlag_.load() && !jobRunning())
        SerialSetFlow(openCommId_, flowFlagsFor(value));
    propertyWritten(kDispHandshaking);
}

bool CVortCtrl::dtrEnable() {
    if (portOpenFlag_.load())
        return SerialOutputLines(openCommId_) & SERIAL_LINE_DTR;
    return dtrEnable_;
}

void CVortCtrl::setDtrEnable(bool on) {
    dtrEnable_ = on;
    if (portOpenFlag_.load())
        on ? SerialDtrOn(openCommId_) : SerialDtrOff(openCommId_);
    propertyWritten(kDispDTREnable);
}

bool CVortCtrl::rtsEnable() {
    if (portOpenFlag_.load())
        return SerialOutputLines(openCommId_) & SERIAL_LINE_RTS;
    return rtsEnable_;
}

void CVortCtrl::setRtsEnable(bool on) {
    rtsEnable_ = on;
    if (portOpenFlag_.load())
        on ? SerialRtsOn(openCommId_) : SerialRtsOff(openCommId_);
    propertyWritten(kDispRTSEnable);
}

void CVortCtrl::setBreakState(int16_t value) {
    break_ = value;
    if (portOpenFlag_.load())
        value ? SerialBreakOn(openCommId_) : SerialBreakOff(openCommId_);
    propertyWritten(kDispBreak);
}

bool CVortCtrl::cdHolding() {
    return portOpenFlag_.load() && SerialCarrier(openCommId_) != 0;
}

bool CVortCtrl::ctsHolding() {
    return portOpenFlag_.load() && (SerialModemStatus(openCommId_) & SERIAL_MS_CTS);
}

bool CVortCtrl::dsrHolding() {
    return portOpenFlag_.load() && (SerialModemStatus(openCommId_) & SERIAL_MS_DSR);
}

int16_t CVortCtrl::comErrors() {
    if (!portOpenFlag_.load())
        return 0;
    return static_cast<int16_t>(SerialLineErrors(openCommId_) & kReportedErrors);
}

void CVortCtrl::applyNullDiscard() {
    if (!portOpenFlag_.load())
        return;
    SerialConfigRecord record{};
    record.length = sizeof record;
    if (SerialReadConfig(openCommId_, &record) != SERIAL_OK)
        return;
    if (nullDiscard_)
        record.flags |= SERIAL_CFG_DISCARD_NUL;
    else
        record.flags &= ~static_cast<uint32_t>(SERIAL_CFG_DISCARD_NUL);
    SerialWriteConfig(openCommId_, &record);
}

void CVortCtrl::setNullDiscard(bool on) {
    nullDiscard_ = on;
    applyNullDiscard();
    propertyWritten(kDispNullDiscard);
}

void CVortCtrl::applyParityReplace() {
    if (!portOpenFlag_.load())
        return;
    SerialConfigRecord record{};
    record.length = sizeof record;
    if (SerialReadConfig(openCommId_, &record) != SERIAL_OK)
        return;
    if (parityReplace_.empty()) {
        record.flags &= ~static_cast<uint32_t>(SERIAL_CFG_ERROR_CHAR);
    } else {
        record.flags |= SERIAL_CFG_ERROR_CHAR;
        record.errorChar = static_cast<char>(parityReplace_[0] & 0xFF);
    }
    SerialWriteConfig(openCommId_, &record);
}

void CVortCtrl::setParityReplace(std::u16string text) {
    parityReplace_ = text;
    applyParityReplace();
    propertyWritten(kDispParityReplace);
}

void CVortCtrl::applyFlowChars() {
    if (!portOpenFlag_.load())
        return;
    SerialConfigRecord record{};
    record.length = sizeof record;
    if (SerialReadConfig(openCommId_, &record) != SERIAL_OK)
        return;
    record.xonChar = xonChar_;
    record.xoffChar = xoffChar_;
    SerialWriteConfig(openCommId_, &record);
}

std::u16string CVortCtrl::xonChar() const {
    return std::u16string(1, static_cast<char16_t>(static_cast<unsigned char>(xonChar_)));
}

std::u16string CVortCtrl::xoffChar() const {
    return std::u16string(1, static_cast<char16_t>(static_cast<unsigned char>(xoffChar_)));
}

void CVortCtrl::setXonChar(std::u16string text) {
    if (text.empty())
        return; // no first character to take
    xonChar_ = static_cast<char>(text[0] & 0xFF);
    applyFlowChars();
    propertyWritten(kDispXONChar);
}

void CVortCtrl::setXoffChar(std::u16string text) {
    if (text.empty())
        return;
    xoffChar_ = static_cast<char>(text[0] & 0xFF);
    applyFlowChars();
    propertyWritten(kDispXOFFChar);
}

void CVortCtrl::setCdTimeout(int32_t ms) {
    cdTimeout_ = ms;
    propertyWritten(kDispCDTimeout);
}

void CVortCtrl::setCtsTimeout(int32_t ms) {
    ctsTimeout_ = ms;
    propertyWritten(kDispCTSTimeout);
}

void CVortCtrl::setDsrTimeout(int32_t ms) {
    dsrTimeout_ = ms;
    propertyWritten(kDispDSRTimeout);
}

} // namespace vort
