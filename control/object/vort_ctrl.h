// CVortCtrl: the serial communication control.
//
// One instance owns one comm id of the serial core library (a serial port, or a
// modem, ISDN or TCP connection) and exposes it through properties, methods and
// events. Thread rules: every property and method runs in the owner's thread (the
// thread that created the control). The library's threads and the control's worker
// threads never call into the host; they post notifications to the control's
// window object, whose handler (OnCommNotify) fires the events in the owner's thread.
// Fields that those threads read are atomics.
//
// Failures raise vort::component::ComponentError with the numbers 55, 68, 380, 422
// (and 383/394 from the dispatch layer).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "control/port/settings_parser.h"
#include "platform/component/variant.h"

namespace vort {

using component::Variant;

// Where the control's notifications go: its hidden window in the owner's thread.
// post() may be called from any thread and must not block.
class NotificationWindow {
public:
    virtual ~NotificationWindow() = default;
    // wParam = (code << 16) | kind; lParam = the data of that kind.
    virtual void post(uint32_t wParam, intptr_t lParam) = 0;
};

// Notification kinds (low 16 bits of wParam).
enum NotifyKind : uint16_t {
    kNotifyComm = 0x81,
    kNotifyModem = 0x82,
    kNotifyFileInfo = 0x83,
};

// ComType values.
enum ComType : int16_t {
    kComTypeRs232 = 0,
    kComTypeRs485 = 1,
    kComTypeIsdn = 10,
    kComTypeTcpServer = 21,
    kComTypeTcpClient = 22,
};

// Protocol values.
enum Protocol : int16_t {
    kProtocolAscii = 0,
    kProtocolXmodem = 1,
    kProtocolXmodemCrc = 2,
    kProtocolYmodem = 3,
    kProtocolYmodemBatch = 4,
    kProtocolZmodem = 5,
    kProtocolZmodemSave = 6,
    kProtocol3964 = 7,
};

// Transfer state.
enum TransferState : int16_t { kTransferIdle = 0, kTransferReceiving = 1, kTransferSending = 2 };

class CVortCtrl {
public:
    CVortCtrl();
    virtual ~CVortCtrl();
    CVortCtrl(const CVortCtrl&) = delete;
    CVortCtrl& operator=(const CVortCtrl&) = delete;

    // ---- Host and container -------------------------------------------------
    // Run mode (true) or design mode (false); run-time-only members raise 422 in
    // design mode. Driven by the container's ambient UserMode.
    void setUserMode(bool runMode) { userMode_ = runMode; }
    bool userMode() const { return userMode_; }
    // Called with the DISPID of every property write that takes effect; the host's
    // site marks itself modified and refreshes its property browser.
    void setChangeObserver(std::function<void(int32_t dispid)> observer) {
        changeObserver_ = std::move(observer);
    }
    // Records the window that receives the control's notifications (at window
    // creation and at every open). nullptr: notifications are skipped.
    void setNotificationWindow(NotificationWindow* window) { window_.store(window); }
    NotificationWindow* notificationWindow() const { return window_.load(); }

    // ---- Port (CommPort, Settings, PortOpen) --------------------------------
    int16_t commPort() const { return commPort_; }
    void setCommPort(int16_t port);
    int16_t commId();  // run-time only
    std::u16string settings();
    void setSettings(const std::u16string& text);
    bool portOpen();  // run-time only
    void setPortOpen(bool open);
    // Port number state for the serial types, comm id state for the others.
    int16_t PortPresent(int16_t portNumber);

    // ---- Data ----------------------------------------------------------------
    void setOutput(const Variant& data);  // run-time only, write-only
    Variant input();                      // run-time only, read-only
    int16_t inputLen() const { return inputLen_; }
    void setInputLen(int16_t len);
    int16_t inputMode() const { return inputMode_; }
    void setInputMode(int16_t mode);
    int16_t ComOutput(int16_t hWnd, const std::u16string& data, int16_t count);
    int16_t ComInput(int16_t hWnd, Variant& data, int16_t count);

    // ---- Buffers -------------------------------------------------------------
    int16_t inBufferSize();
    void setInBufferSize(int16_t size);
    int16_t outBufferSize();
    void setOutBufferSize(int16_t size);
    int16_t inBufferCount();   // run-time only
    void setInBufferCount(int16_t any);
    int16_t outBufferCount();  // run-time only
    void setOutBufferCount(int16_t any);

    // ---- Line control --------------------------------------------------------
    int16_t handshaking();
    void setHandshaking(int16_t value);
    bool dtrEnable();
    void setDtrEnable(bool on);
    bool rtsEnable();
    void setRtsEnable(bool on);
    int16_t breakState();  // run-time only; Break travels as a 16-bit integer
    void setBreakState(int16_t value);
    bool cdHolding();   // run-time only
    bool ctsHolding();  // run-time only
    bool dsrHolding();  // run-time only
    int16_t comErrors();  // run-time only
    bool nullDiscard() const { return nullDiscard_; }
    void setNullDiscard(bool on);
    std::u16string parityReplace() const { return parityReplace_; }
    void setParityReplace(const std::u16string& text);
    std::u16string xonChar() const;
    void setXonChar(const std::u16string& text);
    std::u16string xoffChar() const;
    void setXoffChar(const std::u16string& text);
    int32_t cdTimeout() const { return cdTimeout_; }
    void setCdTimeout(int32_t ms);
    int32_t ctsTimeout() const { return ctsTimeout_; }
    void setCtsTimeout(int32_t ms);
    int32_t dsrTimeout() const { return dsrTimeout_; }
    void setDsrTimeout(int32_t ms);

    // ---- Event monitor -------------------------------------------------------
    int16_t rThreshold() const { return rThreshold_.load(); }
    void setRThreshold(int16_t value);
    int16_t sThreshold() const { return sThreshold_.load(); }
    void setSThreshold(int16_t value);
    int16_t priority() const { return priority_.load(); }
    void setPriority(int16_t value);
    bool yieldState() const { return yieldState_; }
    void setYieldState(bool on);

    // ---- Kept for the parts that build on the port ---------------------------
    int16_t protocol() const { return protocol_.load(); }
    int16_t comType() const { return comType_; }

    // The comm id the open port uses (fixed at open), else CommPort - 1.
    int32_t activeCommId() const { return portOpenFlag_.load() ? openCommId_ : commPort_ - 1; }

    // ---- Virtual operations --------------------------------------------------
    virtual void ClosePort();
    virtual void AbortJob(bool wait, bool enabled);

    // ---- Used by the library callbacks (any thread) ---------------------------
    // Posts a notification to the control's window, if it has one.
    void PostNotification(uint32_t wParam, intptr_t lParam);
    // Posts a comm event (kind 0x81) with that code.
    void postCommEvent(int16_t code, intptr_t lParam = 0);
    // The event monitor: turns one report of the serial core library into comm event
    // notifications. Called from a library thread through EventProc.
    int32_t onLibraryEvent(int32_t id, int32_t mask);
    bool isPortOpenFlagSet() const { return portOpenFlag_.load(); }

protected:
    // Raises 422 in design mode.
    void requireRunMode() const;
    // Marks a property write that took effect.
    void propertyChanged(int32_t dispid);
    // Writes the text through the Settings rules for the serial types.
    void writeSerialSettings(const std::string& text);
    // The Settings text as stored, parsed without a baud check (for open and read).
    bool parseStoredSettings(LineSettings& out) const;
    // Applies the stored Priority to the library's threads (event monitor).
    void applyPriority();
    // Runs the output drain loop; returns the bytes taken.
    uint32_t SendAll(int32_t id, const uint8_t* data, uint32_t len);
    // Re-applies the discard-NUL switch and the error-replacement character.
    void applyNullDiscard();
    void applyParityReplace();
    void applyFlowChars();
    bool jobRunning() const;
    // Whole open sequence; throws 55 or 68.
    void openPort();

    // Owner-thread state.
    bool userMode_ = true;
    std::function<void(int32_t)> changeObserver_;
    int16_t commPort_ = 2;
    int32_t openCommId_ = 1;
    std::string settings_ = "57600,N,8,1";  // ISO-8859-1 text
    int16_t inputLen_ = 1;
    int16_t inputMode_ = 0;
    int16_t outBufferSize_ = 1536;
    int16_t handshaking_ = 0;
    bool dtrEnable_ = true;
    bool rtsEnable_ = true;
    int16_t break_ = 0;
    bool nullDiscard_ = false;
    std::u16string parityReplace_;
    char xonChar_ = 17;
    char xoffChar_ = 19;
    int32_t cdTimeout_ = 0;
    int32_t ctsTimeout_ = 0;
    int32_t dsrTimeout_ = 0;
    bool yieldState_ = true;
    int16_t comType_ = kComTypeRs232;

    // Shared with library and worker threads.
    std::atomic<NotificationWindow*> window_{nullptr};
    std::atomic<bool> portOpenFlag_{false};
    std::atomic<int16_t> protocol_{kProtocolZmodemSave};
    std::atomic<int16_t> inBufferSize_{2048};
    std::atomic<int16_t> rThreshold_{1};
    std::atomic<int16_t> sThreshold_{1};
    std::atomic<int16_t> priority_{2};
    std::atomic<int16_t> eventReentry_{0};
    std::atomic<int16_t> commEvent_{0};
    std::atomic<int16_t> transferState_{kTransferIdle};
    std::atomic<bool> dialFlag_{false};
    std::atomic<bool> connectedFlag_{false};
    std::atomic<bool> modemStop_{false};
    std::atomic<bool> abortFlag_{false};
    std::atomic<bool> lastFileFlag_{true};
};

} // namespace vort
