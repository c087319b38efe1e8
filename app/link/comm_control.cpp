#include "app/link/comm_control.h"

#include "vort/dispids.h"

namespace tcu {

using vort::component::Variant;

namespace {

QString fromVariantText(const Variant& v) {
    if (v.isText())
        return QString::fromStdU16String(v.text());
    if (v.isBytes()) {
        const Variant::Bytes& b = v.byteArray();
        return QString::fromLatin1(reinterpret_cast<const char*>(b.data()),
                                   static_cast<qsizetype>(b.size()));
    }
    std::u16string text;
    if (!v.isEmpty() && v.toText(text))
        return QString::fromStdU16String(text);
    return {};
}

Variant text(const QString& s) {
    return Variant::bstr(s.toStdU16String());
}

} // namespace

int16_t CommControl::commPort() const {
    return proxy_.getI2(vort::kDispCommPort);
}
void CommControl::setCommPort(int16_t port) {
    proxy_.put(vort::kDispCommPort, Variant::i2(port));
}
QString CommControl::settings() const {
    return QString::fromStdU16String(proxy_.getText(vort::kDispSettings));
}
void CommControl::setSettings(const QString& settings) {
    proxy_.put(vort::kDispSettings, text(settings));
}
bool CommControl::portOpen() const {
    return proxy_.getBool(vort::kDispPortOpen);
}
void CommControl::setPortOpen(bool open) {
    proxy_.put(vort::kDispPortOpen, Variant::boolean(open));
}

void CommControl::setOutput(const QString& data) {
    proxy_.put(vort::kDispOutput, text(data));
}
QString CommControl::input() const {
    return fromVariantText(proxy_.get(vort::kDispInput));
}
int16_t CommControl::inputLen() const {
    return proxy_.getI2(vort::kDispInputLen);
}
void CommControl::setInputLen(int16_t len) {
    proxy_.put(vort::kDispInputLen, Variant::i2(len));
}
int16_t CommControl::inputMode() const {
    return proxy_.getI2(vort::kDispInputMode);
}
void CommControl::setInputMode(int16_t mode) {
    proxy_.put(vort::kDispInputMode, Variant::i2(mode));
}
int16_t CommControl::inBufferCount() const {
    return proxy_.getI2(vort::kDispInBufferCount);
}
void CommControl::setInBufferCount(int16_t any) {
    proxy_.put(vort::kDispInBufferCount, Variant::i2(any));
}
int16_t CommControl::inBufferSize() const {
    return proxy_.getI2(vort::kDispInBufferSize);
}
int16_t CommControl::outBufferSize() const {
    return proxy_.getI2(vort::kDispOutBufferSize);
}

int16_t CommControl::commEvent() const {
    return proxy_.getI2(vort::kDispCommEvent);
}
int16_t CommControl::rThreshold() const {
    return proxy_.getI2(vort::kDispRThreshold);
}
void CommControl::setRThreshold(int16_t value) {
    proxy_.put(vort::kDispRThreshold, Variant::i2(value));
}
int16_t CommControl::sThreshold() const {
    return proxy_.getI2(vort::kDispSThreshold);
}
void CommControl::setSThreshold(int16_t value) {
    proxy_.put(vort::kDispSThreshold, Variant::i2(value));
}

bool CommControl::dtrEnable() const {
    return proxy_.getBool(vort::kDispDTREnable);
}
bool CommControl::rtsEnable() const {
    return proxy_.getBool(vort::kDispRTSEnable);
}
int16_t CommControl::handshaking() const {
    return proxy_.getI2(vort::kDispHandshaking);
}
int16_t CommControl::comType() const {
    return proxy_.getI2(vort::kDispComType);
}
void CommControl::setComType(int16_t type) {
    proxy_.put(vort::kDispComType, Variant::i2(type));
}
int16_t CommControl::protocol() const {
    return proxy_.getI2(vort::kDispProtocol);
}
void CommControl::setProtocol(int16_t protocol) {
    proxy_.put(vort::kDispProtocol, Variant::i2(protocol));
}

QString CommControl::fileName() const {
    return QString::fromStdU16String(proxy_.getText(vort::kDispFileName));
}
void CommControl::setFileName(const QString& name) {
    proxy_.put(vort::kDispFileName, text(name));
}
int32_t CommControl::fileSize() const {
    return proxy_.getI4(vort::kDispFileSize);
}
bool CommControl::fileTransmit() const {
    return proxy_.getBool(vort::kDispFileTransmit);
}
void CommControl::setFileTransmit(bool on) {
    proxy_.put(vort::kDispFileTransmit, Variant::boolean(on));
}
bool CommControl::fileReceive() const {
    return proxy_.getBool(vort::kDispFileReceive);
}
void CommControl::setFileReceive(bool on) {
    proxy_.put(vort::kDispFileReceive, Variant::boolean(on));
}
bool CommControl::jobProcessing() const {
    return proxy_.getBool(vort::kDispJobProcessing);
}

} // namespace tcu
