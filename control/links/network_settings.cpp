// Settings for the network connection types: the parameters live in the serial core
// library per comm id; the text is their readable form.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "control/links/network_settings_parser.h"
#include "control/object/vort_ctrl.h"
#include "platform/component/error.h"
#include "serilon/serilon.h"
#include "vort/dispids.h"

namespace vort {

namespace {

[[noreturn]] void raiseInvalid(const std::string& detail) {
    throw component::ComponentError(
        component::kErrInvalidPropertyValue,
        component::standardErrorText(component::kErrInvalidPropertyValue) + ": " + detail);
}

bool isTcpType(int16_t t) {
    return t >= 20 && t <= kComTypeTcpClient;
}

// Copies text into a fixed field, always NUL-terminated.
template <size_t N> void putText(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

template <size_t N> std::string fieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

std::string formatTcp(const SerialTcpRecord& r, int16_t comType) {
    const std::string host = fieldText(r.host);
    char text[160];
    if (comType == kComTypeTcpServer)
        std::snprintf(text, sizeof text, "IP=%s;PORT=%d;MaxServerConnections=%d;", host.c_str(),
                      r.port, r.maxServerConnections);
    else
        std::snprintf(text, sizeof text, "IP=%s;PORT=%d;", host.c_str(), r.port);
    return text;
}

std::string formatIsdn(const SerialIsdnRecord& r) {
    const std::string ext = fieldText(r.ownExtension);
    char text[160];
    std::snprintf(text, sizeof text,
                  "OwnExtension=%s;Controller=%d;CIPValue=%d;CIPMask=%" PRIu32 ";", ext.c_str(),
                  r.controller, r.cipValue, r.cipMask);
    return text;
}

} // namespace

void CVortCtrl::writeNetworkSettings(const std::string& text) {
    const int32_t id = commPort_ - 1;
    const NetworkFields stored = parseNetworkSettings(settings_);
    const NetworkFields given = parseNetworkSettings(text);
    if (comType_ == kComTypeIsdn) {
        SerialIsdnRecord r{};
        r.request = SERIAL_REQ_READ_ISDN;
        ComTypeControl(id, &r);
        int64_t controller = r.controller, cipValue = r.cipValue;
        int16_t fields = 0;
        for (const NetworkFields* f : {&stored, &given}) {
            if (f->ownExtension)
                putText(r.ownExtension, *f->ownExtension), fields |= SERIAL_FIELD_EXTENSION;
            if (f->controller)
                controller = *f->controller, fields |= SERIAL_FIELD_CONTROLLER;
            if (f->cipValue)
                cipValue = *f->cipValue, fields |= SERIAL_FIELD_CIP_VALUE;
            if (f->cipMask)
                r.cipMask = static_cast<uint32_t>(*f->cipMask), fields |= SERIAL_FIELD_CIP_MASK;
        }
        if (controller == 0)
            raiseInvalid("an ISDN connection needs CONTROLLER=");
        if (cipValue == 0)
            raiseInvalid("an ISDN connection needs CIPVALUE=");
        // Values that do not fit their fields would arrive as other numbers.
        if (controller < INT32_MIN || controller > INT32_MAX)
            raiseInvalid("CONTROLLER= is out of range");
        if (cipValue < INT16_MIN || cipValue > INT16_MAX)
            raiseInvalid("CIPVALUE= is out of range");
        if (given.cipMask && *given.cipMask > UINT32_MAX)
            raiseInvalid("CIPMASK= is out of range");
        r.controller = static_cast<int32_t>(controller);
        r.cipValue = static_cast<int16_t>(cipValue);
        r.type = kComTypeIsdn;
        r.request = static_cast<int16_t>(SERIAL_REQ_WRITE | fields);
        ComTypeControl(id, &r);
        SerialIsdnRecord back{};
        back.request = SERIAL_REQ_READ_ISDN;
        ComTypeControl(id, &back);
        settings_ = formatIsdn(back);
    } else {
        SerialTcpRecord r{};
        r.request = SERIAL_REQ_READ_TCP;
        ComTypeControl(id, &r);
        uint64_t port = r.port;
        int16_t fields = 0;
        for (const NetworkFields* f : {&stored, &given}) {
            if (f->ip)
                putText(r.host, *f->ip), fields |= SERIAL_FIELD_HOST;
            if (f->port)
                port = *f->port, fields |= SERIAL_FIELD_PORT;
            if (f->maxConnections) {
                // One byte: more than 255 connections are 255.
                r.maxServerConnections =
                    static_cast<uint8_t>(std::min<uint64_t>(*f->maxConnections, 255));
                fields |= SERIAL_FIELD_LIMIT;
            }
        }
        if (port == 0)
            raiseInvalid("a TCP connection needs PORT=");
        // A port above 65535 would silently become another port.
        if (port > 65535)
            raiseInvalid("PORT=" + std::to_string(port) + " is not a TCP port");
        r.port = static_cast<uint16_t>(port);
        r.request = static_cast<int16_t>(SERIAL_REQ_WRITE | fields);
        ComTypeControl(id, &r);
        SerialTcpRecord back{};
        back.request = SERIAL_REQ_READ_TCP;
        ComTypeControl(id, &back);
        settings_ = formatTcp(back, comType_);
    }
    propertyWritten(kDispSettings);
}

std::string CVortCtrl::readNetworkSettings() const {
    const int32_t id = commPort_ - 1;
    if (comType_ == kComTypeIsdn) {
        SerialIsdnRecord r{};
        r.request = SERIAL_REQ_READ_ISDN;
        ComTypeControl(id, &r);
        return formatIsdn(r);
    }
    SerialTcpRecord r{};
    r.request = SERIAL_REQ_READ_TCP;
    ComTypeControl(id, &r);
    return formatTcp(r, comType_);
}

bool CVortCtrl::isNetworkType() const {
    return comType_ == kComTypeIsdn || isTcpType(comType_);
}

} // namespace vort
