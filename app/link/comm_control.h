// CommControl: the program's typed handle on its serial communication control
// (CommCtl1). Every call is one late-bound dispatch call by DISPID through the proxy;
// nothing of the control is linked.
//
// Failures come back as vort::component::ComponentError (number and description):
// 55 port in use, 68 device unavailable (its description carries the reason, e.g. the
// missing permission), 380 invalid settings, and the dispatch layer's numbers.
//
// Texts cross as UTF-16; the serial line carries one byte per character (ISO-8859-1),
// so Output sends the low byte of each character and Input gives each byte as one
// character. GUI thread only, like the control.
#pragma once

#include <QString>
#include <cstdint>

#include "platform/component/dispatch_proxy.h"

namespace tcu {

class CommControl {
public:
    CommControl() = default;
    explicit CommControl(vort::component::DispatchProxy proxy) : proxy_(std::move(proxy)) {}

    explicit operator bool() const { return static_cast<bool>(proxy_); }
    const vort::component::DispatchProxy& proxy() const { return proxy_; }

    // ---- Port ----------------------------------------------------------------
    int16_t commPort() const;
    void setCommPort(int16_t port); // 1..255; others are ignored by the control
    QString settings() const;       // normalised, e.g. "9600,N,8,1"
    void setSettings(const QString& settings);
    bool portOpen() const;
    void setPortOpen(bool open);

    // ---- Data ----------------------------------------------------------------
    void setOutput(const QString& text); // ignored by the control while closed
    // What one read of Input returns, as text ("" when closed or nothing waits).
    QString input() const;
    int16_t inputLen() const;
    void setInputLen(int16_t len); // 0: each read returns everything waiting
    int16_t inputMode() const;
    void setInputMode(int16_t mode); // 0 text, 1 binary
    int16_t inBufferCount() const;
    void setInBufferCount(int16_t any); // empties the input queue
    int16_t inBufferSize() const;
    int16_t outBufferSize() const;

    // ---- Events and thresholds -----------------------------------------------
    int16_t commEvent() const; // the last event code, reset to 0 by the read
    int16_t rThreshold() const;
    void setRThreshold(int16_t value);
    int16_t sThreshold() const;
    void setSThreshold(int16_t value);

    // ---- Line and types --------------------------------------------------------
    bool dtrEnable() const;
    bool rtsEnable() const;
    int16_t handshaking() const;
    int16_t comType() const;
    void setComType(int16_t type);
    int16_t protocol() const;
    void setProtocol(int16_t protocol);

    // ---- File transfer ---------------------------------------------------------
    QString fileName() const;
    void setFileName(const QString& name);
    int32_t fileSize() const;
    bool fileTransmit() const;
    void setFileTransmit(bool on);
    bool fileReceive() const;
    void setFileReceive(bool on);
    bool jobProcessing() const;

private:
    vort::component::DispatchProxy proxy_;
};

} // namespace tcu
