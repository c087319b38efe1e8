// CVortCtrl: the serial communication control.
//
// One instance owns one comm id of the serial core library (a serial port, or a
// modem, ISDN or TCP connection) and exposes it through the dispatch interface _DVort
// (properties, methods) and the event interface _DVortEvents (OnComm, OnModem,
// OnFileInfo).
//
// Thread rules: every property and method runs in the owner's thread (the thread
// that created the control). The library's threads and the control's worker objects
// (the dial job, the transfer job, the 3964 link) never call into the host; they post
// notifications to the control's window object, whose handler (OnCommNotify) fires the
// events in the owner's thread. Each worker object owns its thread, flags and locks and
// starts from a copy of the properties it needs, taken in the owner's thread; what
// those threads still read or write of the control is atomic or guarded, and named in
// the section "For the library callbacks and the worker objects" below.
//
// Failures raise vort::component::ComponentError with the numbers 55, 68 and 380; the
// dispatch table raises 383, 394 and 422 (run-time-only members in design mode).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "control/link3964/link_worker.h"
#include "control/links/dial_job.h"
#include "control/port/settings_parser.h"
#include "control/transfer/transfer_job.h"
#include "platform/component/control_base.h"
#include "platform/component/control_view.h"
#include "platform/component/dispatch_table.h"
#include "serilon/serilon.h"
#include "transvex/transvex.h"
#include "vort/property_values.h"

namespace vort {

using component::Variant;

class DesignViews;

// The type library VORTLib 2.7 (type_library.cpp).
const component::TypeLibrary& vortTypeLibrary();

// Where the control's notifications go: its hidden window in the owner's thread.
// post() may be called from any thread and never blocks for long.
class NotificationWindow {
public:
    virtual ~NotificationWindow() = default;
    // wParam = (code << 16) | kind; lParam = the data of that kind.
    virtual void post(uint32_t wParam, intptr_t lParam) = 0;
    // A number identifying the window (the hWnd property).
    virtual int32_t handle() const = 0;
};

// Notification kinds (low 16 bits of wParam).
enum NotifyKind : uint16_t {
    kNotifyComm = 0x81,
    kNotifyModem = 0x82,
    kNotifyFileInfo = 0x83,
};

inline bool isSerialComType(int16_t t) {
    return t == kComTypeRs232 || t == kComTypeRs485;
}

class CVortCtrl : public component::ControlBase, public component::ControlView {
public:
    CVortCtrl();
    ~CVortCtrl() override;

    // Unknown, once for every interface (ControlBase's and ControlView).
    int32_t queryInterface(const component::Guid& iid, void** out) override {
        return ControlBase::queryInterface(iid, out);
    }
    uint32_t addRef() override { return ControlBase::addRef(); }
    uint32_t release() override { return ControlBase::release(); }

    // ControlView (design_view.cpp): the control's bitmap while its container designs
    // it, F1 opening the help; nothing in run mode.
    void* createView(void* parent) override;
    // Whether the container shows the control in design mode (ambient UserMode false).
    bool designMode();

    static const component::DispatchTable<CVortCtrl>& table();
    static const component::ControlDescription& description();

    // Records the window that receives the control's notifications. The control
    // creates its own Qt window when it gets a site (or on demand); tests may put in
    // their own. nullptr: notifications are skipped. Returns once no thread is still
    // posting to the window it replaces, so that window may go at once.
    void setNotificationWindow(NotificationWindow* window);
    NotificationWindow* notificationWindow() const;
    // Creates the control's own window in the calling (owner's) thread if it has none.
    void ensureWindow();

    // ---- Port (CommPort, Settings, PortOpen) --------------------------------
    int16_t commPort() const { return commPort_; }
    void setCommPort(int16_t port);
    int16_t commId() const { return static_cast<int16_t>(commPort_ - 1); }
    std::u16string settings();
    void setSettings(std::u16string text);
    bool portOpen() const { return portOpenFlag_.load(); }
    void setPortOpen(bool open);
    // Port number state for the serial types, comm id state for the others.
    int16_t PortPresent(int16_t portNumber);

    // ---- Data ----------------------------------------------------------------
    void setOutput(Variant data);
    Variant input();
    int16_t inputLen() const { return inputLen_; }
    void setInputLen(int16_t len);
    int16_t inputMode() const { return inputMode_; }
    void setInputMode(int16_t mode);
    int16_t ComOutput(int16_t hWnd, std::u16string data, int16_t count);
    int16_t ComInput(int16_t hWnd, Variant& data, int16_t count);

    // ---- Buffers -------------------------------------------------------------
    int16_t inBufferSize();
    // Values arrive as 32-bit so that 40000 clamps to 32000 instead of overflowing.
    void setInBufferSize(int32_t size);
    int16_t outBufferSize();
    void setOutBufferSize(int32_t size);
    int16_t inBufferCount();
    void setInBufferCount(int16_t any);
    int16_t outBufferCount();
    void setOutBufferCount(int16_t any);

    // ---- Line control --------------------------------------------------------
    int16_t handshaking();
    void setHandshaking(int16_t value);
    bool dtrEnable();
    void setDtrEnable(bool on);
    bool rtsEnable();
    void setRtsEnable(bool on);
    // Break travels as a 16-bit integer; any nonzero value counts as on.
    int16_t breakState() const { return break_; }
    void setBreakState(int16_t value);
    bool cdHolding();
    bool ctsHolding();
    bool dsrHolding();
    int16_t comErrors();
    bool nullDiscard() const { return nullDiscard_; }
    void setNullDiscard(bool on);
    std::u16string parityReplace() const { return parityReplace_; }
    void setParityReplace(std::u16string text);
    std::u16string xonChar() const;
    void setXonChar(std::u16string text);
    std::u16string xoffChar() const;
    void setXoffChar(std::u16string text);
    int32_t cdTimeout() const { return cdTimeout_; }
    void setCdTimeout(int32_t ms);
    int32_t ctsTimeout() const { return ctsTimeout_; }
    void setCtsTimeout(int32_t ms);
    int32_t dsrTimeout() const { return dsrTimeout_; }
    void setDsrTimeout(int32_t ms);

    // ---- Event monitor -------------------------------------------------------
    // Returns the last comm event code and resets it to 0.
    int16_t commEvent();
    int16_t rThreshold() const { return rThreshold_.load(); }
    void setRThreshold(int16_t value);
    int16_t sThreshold() const { return sThreshold_.load(); }
    void setSThreshold(int16_t value);
    int16_t priority() const { return priority_.load(); }
    void setPriority(int16_t value);
    bool yieldState() const { return yieldState_; }
    void setYieldState(bool on);
    int32_t interval() const { return interval_; }
    void setInterval(int32_t value);
    int32_t hWnd() const;

    // ---- File transfer -------------------------------------------------------
    int16_t protocol() const { return protocol_.load(); }
    void setProtocol(int16_t value);
    std::u16string fileName() const;
    void setFileName(std::u16string text);
    std::u16string fileDownLoadDir() const;
    void setFileDownLoadDir(std::u16string text);
    int32_t fileSize() const { return transfer_.fileSize(); }
    bool fileTransmit() const { return transfer_.state() == kTransferSending; }
    void setFileTransmit(bool on);
    bool fileReceive() const { return transfer_.state() == kTransferReceiving; }
    void setFileReceive(bool on);
    bool jobProcessing() const;
    void setJobProcessing(bool on);

    // ---- Connection types and modem ------------------------------------------
    int16_t comType() const { return comType_; }
    void setComType(int16_t value);
    std::u16string modemInitString() const { return modemInitString_; }
    void setModemInitString(std::u16string text);
    std::u16string modemAnswerString() const { return modemAnswerString_; }
    void setModemAnswerString(std::u16string text);
    std::u16string modemPhoneNumber() const { return modemPhoneNumber_; }
    void setModemPhoneNumber(std::u16string text);
    // Seconds at the interface, milliseconds inside.
    int32_t modemTimeout() const { return modemTimeoutMs_ / 1000; }
    void setModemTimeout(int32_t seconds);
    bool modemConnect();
    void setModemConnect(bool on);
    std::u16string modemResult() const;

    // ---- 3964 link -----------------------------------------------------------
    bool s3964Master() const { return s3964Master_; }
    void setS3964Master(bool on);
    bool s3964UseBcc() const { return s3964UseBcc_; }
    void setS3964UseBcc(bool on);
    int32_t s3964Tq() const { return s3964Tq_; }
    void setS3964Tq(int32_t ms);
    int32_t s3964Tz() const { return s3964Tz_; }
    void setS3964Tz(int32_t ms);
    int16_t s3964Retry() const { return s3964Retry_; }
    void setS3964Retry(int16_t count);

    // ---- Identity ------------------------------------------------------------
    std::u16string zRelease() const;
    void AboutBox();

    // ---- Virtual operations --------------------------------------------------
    virtual void ClosePort();
    virtual void AbortDial(bool wait, bool portOpen);
    virtual void AbortTransfer(bool wait, bool portOpen);
    virtual void AbortJob(bool wait, bool enabled);
    // Handles one notification in the owner's thread: sets CommEvent and fires the
    // events.
    virtual void OnCommNotify(uint32_t wParam, intptr_t lParam);

    // ---- For the library callbacks and the worker objects (any thread) -------
    // Posts a notification to the control's window, if it has one.
    void PostNotification(uint32_t wParam, intptr_t lParam);
    // Posts a comm event (kind 0x81) with that code.
    void postCommEvent(int16_t code, intptr_t lParam = 0);
    // One report of the serial core library, from its thread (through EventProc).
    int32_t onLibraryEvent(int32_t id, int32_t mask);
    // An incoming call or connection (library report 0x100), from the library's thread:
    // posts code 6 (with a record the owner's thread takes over) and returns 0, or
    // returns the refusal value (nothing posted).
    int32_t onIncomingCall(int32_t id);
    bool isPortOpenFlagSet() const { return portOpenFlag_.load(); }
    int16_t transferStateNow() const { return transfer_.state(); }
    // ModemResult, written by the dial job with the library's result text (at most 80
    // characters are kept) and by the owner's thread for incoming calls.
    void setModemResult(const std::string& text);
    // The connected flag, as a dial leaves it.
    void setConnectedFlag(bool on) { connectedFlag_ = on; }
    // FileName, as the transfer job names the file it handles.
    void setFileNameFromJob(std::u16string name);
    // The worker objects, for their library callbacks (ModemInfoProc, FileInfoProc).
    DialJob& dialJob() { return dial_; }
    TransferJob& transferJob() { return transfer_; }

    // The comm id the open port uses (fixed at open), else CommPort - 1. Owner's thread.
    int32_t activeCommId() const { return portOpenFlag_.load() ? openCommId_ : commPort_ - 1; }

protected:
    void exchangeProperties(component::PropertyExchange& px) override;
    void onSiteChanged() override;
    // The views repaint when the ambient UserMode changes (design_view.cpp).
    void onAmbientPropertyChanged(int32_t dispid) override;
    void* findInterface(const component::Guid& iid) override;

    // Writes the text through the Settings rules for the serial types.
    void writeSerialSettings(const std::string& text);
    // ISDN, TCP server and client (control/links/network_settings.cpp).
    bool isNetworkType() const;
    void writeNetworkSettings(const std::string& text);
    std::string readNetworkSettings() const;
    // OnCommNotify's part for code 6: builds ModemResult and frees the record.
    void describeIncoming(intptr_t record);
    // Hands an accepted connection to the first free comm id; when every comm id is
    // in use, the ended connections nobody took over are closed first. -1 when none
    // takes it.
    int32_t adoptConnection(const SerialTcpConnectInfo& info);
    // The first free comm id takes the connection: the comm id, or kNoFreeCommId, or
    // kConnectionGone when the library could not open it.
    static constexpr int32_t kNoFreeCommId = -1;
    static constexpr int32_t kConnectionGone = -2;
    int32_t takeConnection(const SerialTcpConnectInfo& info);
    // The stored Settings text, parsed without a baud check (open and read).
    bool parseStoredSettings(LineSettings& out) const;
    // The baud limit a text must keep on the open port (its maximum, or any baud above
    // 0 when the library cannot say); 0 when the port is closed (no baud check).
    uint32_t openPortMaxBaud() const;
    // Applies the stored Priority to the library's threads.
    void applyPriority();
    // The output drain loop; returns the bytes taken.
    uint32_t SendAll(int32_t id, const uint8_t* data, uint32_t len);
    void applyNullDiscard();
    void applyParityReplace();
    void applyFlowChars();
    bool jobRunning() const;
    // The abort waits: polls every 50 ms while comm id is in use and busy() holds, at
    // most 5,000 ms.
    void waitWhileBusy(int32_t id, const std::function<bool()>& busy) const;
    void openPort();
    // After loading: ComType applied, network Settings re-applied.
    void afterLoad();
    // Starts the 3964 link on the open comm id; on failure tells the operator why and
    // returns false.
    bool start3964Link();
    // Starts the transfer job in that direction (sending or receiving) if the start
    // conditions hold; otherwise does nothing.
    void startTransfer(TransferState direction);

    // Owner-thread state.
    int16_t commPort_ = 2;
    int32_t openCommId_ = 1;
    std::string settings_ = "57600,N,8,1"; // ISO-8859-1
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
    int32_t interval_ = 0;
    int16_t comType_ = kComTypeRs232;
    // FileName is written by the transfer job too (the name of the file it handles):
    // it is guarded by fileNameMutex_, and so are the suffix and FileDownLoadDir, which
    // a job copies with it when it starts.
    mutable std::mutex fileNameMutex_;
    std::u16string fileName_;
    std::u16string fileSuffix_;
    std::u16string fileDownLoadDir_ = u"\\";
    std::u16string modemInitString_ = u"ATE0L1M0Q0V1&C1&D2&S1";
    std::u16string modemAnswerString_ = u"ATA";
    std::u16string modemPhoneNumber_;
    int32_t modemTimeoutMs_ = 60000;
    // Written by the dial thread and the owner's thread.
    mutable std::mutex modemResultMutex_;
    std::u16string modemResult_;
    // Records of incoming calls posted with code 6, until OnCommNotify takes them (or
    // the control goes). A record is freed exactly once, whoever gets to it.
    std::mutex incomingMutex_;
    std::vector<std::unique_ptr<uint8_t[]>> incomingRecords_;
    int32_t s3964Tq_ = 2000;
    int32_t s3964Tz_ = 200;
    int16_t s3964Retry_ = 3;
    bool s3964Master_ = false;
    bool s3964UseBcc_ = true;
    std::unique_ptr<NotificationWindow> ownWindow_;
    // The design-time views made so far; they hold it weakly and so learn when the
    // control is gone.
    std::shared_ptr<DesignViews> designViews_;
    // Lives as long as the control: library threads reach it through EventProc.
    const std::unique_ptr<Link3964> link_;

    // Shared with library and worker threads.
    // The notification window: posting holds windowMutex_ shared, replacing it holds it
    // exclusively, so a replaced window is no longer in use when the write returns.
    mutable std::shared_mutex windowMutex_;
    NotificationWindow* window_ = nullptr;
    std::atomic<bool> portOpenFlag_{false};
    std::atomic<int16_t> protocol_{kProtocolZmodemSave};
    std::atomic<int16_t> inBufferSize_{2048};
    std::atomic<int16_t> rThreshold_{1};
    std::atomic<int16_t> sThreshold_{1};
    std::atomic<int16_t> priority_{2};
    std::atomic<int16_t> eventReentry_{0};
    std::atomic<int16_t> commEvent_{0};
    // ComType as the library's thread reads it (incoming calls); follows comType_.
    std::atomic<int16_t> comTypeShared_{kComTypeRs232};
    std::atomic<bool> connectedFlag_{false};

    // The worker objects. Declared last so their threads are joined first when the
    // control goes, while everything they use still exists (the destructor's ClosePort
    // has stopped them).
    DialJob dial_{*this};
    TransferJob transfer_{*this};
};

} // namespace vort
