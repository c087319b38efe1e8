// CommPort, CommID, Settings and PortPresent: choosing the port and its line.
#include "control/object/vort_ctrl.h"
#include "platform/component/error.h"
#include "platform/component/text.h"
#include "serilon/serilon.h"
#include "vort/dispids.h"

namespace vort {

using component::ComponentError;

namespace {

constexpr const char* kDefaultSettings = "57600,N,8,1";

bool isSerialType(int16_t comType) {
    return comType == kComTypeRs232 || comType == kComTypeRs485;
}

[[noreturn]] void raiseInvalidValue(const std::string& detail) {
    std::string text = component::standardErrorText(component::kErrInvalidPropertyValue);
    if (!detail.empty())
        text += ": " + detail;
    throw ComponentError(component::kErrInvalidPropertyValue, text);
}

} // namespace

void CVortCtrl::setCommPort(int16_t port) {
    if (port < 1 || port > 255)
        return;
    commPort_ = port;
    propertyWritten(kDispCommPort);
    // Re-validates the stored text and, for the network types, re-applies it to the
    // new comm id.
    if (!isNetworkType()) {
        writeSerialSettings(settings_);
        return;
    }
    try {
        writeNetworkSettings(settings_);
    } catch (const ComponentError&) {
        // A text without a port (just after a ComType change) has nothing to apply
        // yet; the port number still changes.
    }
}

bool CVortCtrl::parseStoredSettings(LineSettings& out) const {
    // A stored text lacking fields (only possible from storage) takes the defaults
    // for what it lacks.
    out = LineSettings{};
    return parseLineSettings(settings_, out);
}

uint32_t CVortCtrl::openPortMaxBaud() const {
    if (!portOpenFlag_.load())
        return 0;
    // A port that cannot say its maximum still needs a baud above 0.
    const int32_t m = SerialMaxBaud(openCommId_);
    return m > 0 ? static_cast<uint32_t>(m) : 0xFFFFFFFFu;
}

void CVortCtrl::writeSerialSettings(const std::string& text) {
    LineSettings line;
    parseStoredSettings(line);

    const bool open = portOpenFlag_.load();
    const int32_t id = openCommId_;
    const uint32_t maxBaud = openPortMaxBaud();
    if (!parseLineSettings(text, line, maxBaud)) {
        if (open && parseLineSettings(text, line))
            raiseInvalidValue("the port does not take " + std::to_string(line.baud) + " baud");
        raiseInvalidValue("\"" + text.substr(0, 29) +
                          "\" is not of the form baud,parity,data bits,stop bits");
    }

    if (open) {
        // Only a text that does not parse is refused. The line call's result is not
        // examined: a device that went away while open keeps the values (the library
        // applies them when it can), so a host that then closes and reopens the port
        // is not stopped by an error about a device that is back by then.
        SerialSetLine(id, static_cast<int32_t>(line.baud), line.dataBits, line.stopBits,
                      line.parity, SerialGetFlow(id));
        if (handshaking_ == 0) {
            dtrEnable_ ? SerialDtrOn(id) : SerialDtrOff(id);
            rtsEnable_ ? SerialRtsOn(id) : SerialRtsOff(id);
        }
        applyPriority();
    }
    settings_ = formatLineSettings(line);
    propertyWritten(kDispSettings);
}

void CVortCtrl::setSettings(std::u16string text) {
    if (isNetworkType())
        writeNetworkSettings(component::toLatin1(text));
    else
        writeSerialSettings(component::toLatin1(text));
}

std::u16string CVortCtrl::settings() {
    // The network types read their parameters from the library, not the stored text.
    if (isNetworkType())
        return component::fromLatin1(readNetworkSettings());
    if (isSerialType(comType_)) {
        // On an open port the text must also hold there (a baud above 0 and within the
        // port's maximum); one that does not is replaced and reaches the line.
        LineSettings line;
        if (!parseLineSettings(settings_, line, openPortMaxBaud()))
            writeSerialSettings(kDefaultSettings);
    }
    return component::fromLatin1(settings_);
}

int16_t CVortCtrl::PortPresent(int16_t portNumber) {
    if (comType_ <= kComTypeRs485)
        return static_cast<int16_t>(SerialPortState(portNumber));
    if (portNumber < 0 || portNumber > SERIAL_MAX_COMM_ID)
        return SERIAL_PORT_ABSENT;
    return SerialInUse(portNumber) ? SERIAL_PORT_BUSY : SERIAL_PORT_READY;
}

} // namespace vort
