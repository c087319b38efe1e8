// The program core: what the scanner program does that is not drawing, on one object
// that a face owns (the window of tcu1, the terminal of tcu). It holds the serial
// communication control CommCtl1 and the program's shared state under the names the
// program's code has always used (IniPortCom, ParityLetter, TimeoutFlag, ...), and runs
// the port settings file, the command exchange engine and the ping.
//
// The core reaches the operator only through the dialog facade (platform/dialogs) and
// its face through CoreView; it needs a QCoreApplication (its timer and the control's
// events are delivered by that thread's event loop) but no widgets and no display.
//
// Its procedures are defined in the file of the subsystem they belong to:
//   app/core/program_core.cpp      the control, link operations, display helpers
//   app/link/port_settings_file.cpp  LoadPortSettings, RewritePortSettings
//   app/link/exchange.cpp          ExchangeCommand, ReadPortText, OnComm, Timer1_Timer
//   app/link/baud_detect.cpp       the ping and the automatic baud detection
//   app/identity/revision_state.cpp  the "<APP1RV:>" rule that sets App1RevNumber
//   app/identity/identity_events.cpp the identity answers, factory default, registration
//   app/settings/send_setup.cpp    Send
//   app/settings/receive_setup.cpp Receive and the "<SETPAR:>" answer rule
//   app/settings/setup_files.cpp   setup files
//   app/devices/replug_recovery.cpp  the device pulled out and back (its own object)
//
// Link operations (an exchange, a ping, a detection) never run inside one another: all
// of them share AnswerBuffer, PendingInput, TimeoutFlag and Timer1. The waits pump
// messages, so a face can take a request meanwhile; one asked for through whenLinkFree
// runs as soon as the running operation ends, and an exchange started then fails at
// once (returns 0).
//
// Owner's thread only.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include <optional>

#include "app/core/core_view.h"
#include "app/link/answer_rules.h"
#include "app/link/comm_control.h"
#include "app/link/window_timer.h"
#include "app/settings/identity_hooks.h"
#include "app/settings/setup_model.h"

namespace tcu {

class CommControlHost;
namespace devices {
class DeviceSource;
class ReplugRecovery;
} // namespace devices

// The scanner's identity as it last answered each query, whole (line end included);
// empty until answered.
struct ScannerIdentity {
    QString application1;    // "<APP1RV:>"
    QString application2;    // "<APP2RV:>"
    QString hardware;        // "<HARDRV:>"
    QString model;           // "<FINGER:>"
    QString webSite;         // "<WEBSIT:>"
    QString serialNumber;    // "<SERIAL:>"
    QString registrationKey; // "<REGKEY:>"
};

// What writing the registration key came to.
enum class KeyWrite { Written, NotSupported, NotAcknowledged };

// A setup file that could not be read or written: the system's error number and its
// description.
struct FileError {
    int number;
    QString description;
};

// The title of the program's boxes.
inline constexpr char kAppTitle[] = "TCU1";

class ProgramCore : public QObject {
public:
    // The state of a program that has just started: nothing loaded, no control yet.
    ProgramCore();
    ~ProgramCore() override;
    ProgramCore(const ProgramCore&) = delete;
    ProgramCore& operator=(const ProgramCore&) = delete;

    // ---- "TCU.INI" ---------------------------------------------------------------
    QString WindowsDir;        // the configuration directory (no trailing "/")
    QString IniPath;           // WindowsDir + "/TCU.INI"
    QString IniPortCom;        // PORTCOM value as read ("" until loaded)
    QString IniPortSet;        // PORTSET value as read ("" until loaded)
    QString IniSuppSet;        // written for SUPPSET by a rewrite; always empty
    int16_t StartupDetect = 0; // detections run so far; Main sets it to 1 first

    // Sets WindowsDir and IniPath, then reads the file into IniPortCom and IniPortSet.
    // A missing or unreadable file, one longer than kMaxIniBytes, a PORTCOM value that
    // is not a number or not one of 1..6: the default file is written (replacing the old
    // one) and the defaults "1" and "9600,n,8,1" are used. A path holding something
    // other than a regular file (a FIFO, a device, a directory) counts as unreadable: it
    // is never opened for reading or writing, so nothing blocks, and the repair leaves it
    // alone and says so on stderr. Reading stops quietly at the first entry shorter than
    // its key (entries behind it are not read); unknown keys are skipped; keys are
    // compared case-sensitively. Never fails towards the caller: when the default file
    // cannot be written the defaults are used all the same.
    void LoadPortSettings();
    // The line a rewrite puts into the file: "PORTCOM=" + port + ";PORTSET=" + settings
    // + ";SUPPSET=" + IniSuppSet + ";" and CR LF.
    QString portSettingsLine(int16_t commPort, const QString& settings) const;
    // Replaces the whole file at IniPath with portSettingsLine(...), in one step
    // (platform/files/atomic_rewrite.h: written beside it, then renamed; a link stays a
    // link, the file keeps its mode), so a failed write never leaves a half-written
    // file. False when it could not be written (the reason on stderr); IniPortCom and
    // IniPortSet are not touched.
    bool RewritePortSettings(int16_t commPort, const QString& settings);

    // ---- The serial communication control ----------------------------------------
    // Creates CommCtl1 through the registry with the program's stored design of it and
    // routes its receive event to the engine. Throws ControlUnavailable.
    void createControl();
    bool hasControl() const { return commHost_ != nullptr; }
    // The control, driven by DISPID; an empty handle until createControl.
    CommControl CommCtl1;
    // The control's creation and event routing (onFileInfo, onModem for the upgrade).
    CommControlHost& commHost() { return *commHost_; }

    // ---- Command exchange engine -------------------------------------------------
    // Text drained from the control and not yet taken (ReadPortText).
    QString PendingInput;
    // Text received during the current exchange; after the acknowledgement, the answer.
    QString AnswerBuffer;
    // 1 when the current wait has failed (a tick of Timer1, or a NAK), else 0.
    int16_t TimeoutFlag = 0;
    // The engine's time-out timer: disabled, without an interval, until a wait sets it.
    WindowTimer Timer1;

    // Sends token framed (SOH token EOT) and waits for its ACK, up to three attempts of
    // 1000 ms (a NAK ends an attempt at once); for a query (":>" in the token) then
    // waits for the answer line (CR LF) 1500 ms, 2500 ms at 1200 and 2400 baud, and
    // applies the token's answer rules. Returns 1 on success, 0 on failure. Status
    // panel 2 shows "TIME OUT COUNT = " + attempt, panel 1 the line. A run-time error
    // (from the control, or an answer a rule cannot use) is shown in a box with the
    // exclamation icon and gives 0. An exchange started while another link operation
    // runs gives 0 at once and touches nothing.
    int16_t ExchangeCommand(const QString& token);
    // Reads the control's Input once into PendingInput; take: returns PendingInput and
    // empties it, else returns "".
    QString ReadPortText(bool take);
    // The control's OnComm: drains Input into PendingInput (ReadPortText(false)) and
    // hands the event's code to the replug recovery.
    void CommCtl1_OnComm();
    // Tick of Timer1: TimeoutFlag = 1. The timer keeps running.
    void Timer1_Timer();
    // What a completed exchange does with each token's answer.
    AnswerRules& answerRules() { return answerRules_; }

    // ---- Port connection ----------------------------------------------------------
    // Parity letter of every settings string the detection and the manual window build:
    // "" at start, "N" once a detection ran, "N"/"O"/"E" from the manual window. Not
    // saved.
    QString ParityLetter;
    // Writes the ping frame to the control and waits, pumping messages, until an ACK
    // arrives (true: Timer1 disabled, TimeoutFlag 0) or TimeoutFlag becomes 1 (false).
    // AnswerBuffer is not emptied first; everything up to and including the ACK is
    // consumed. The caller sets Timer1's interval, TimeoutFlag and enables Timer1.
    bool SendPingAndWait();
    // The automatic baud detection: opens the saved port (IniPortCom; port instead when
    // given, which is not checked against 1..6) and tries the eight rates with a ping
    // each, asking Retry/Cancel when none answers. Found: the port stays open at the
    // rate, InputLen becomes 0, and "TCU.INI" is rewritten when both port and settings
    // differ from the file's (never for a port above 6, which the file cannot keep).
    // Nothing (Ended) while another link operation runs or once the program ends.
    // openError: why the port could not be opened (PortClosed).
    struct Detection {
        DetectionOutcome outcome = DetectionOutcome::Ended;
        QString openError;
    };
    Detection AutoBaudDetect(std::optional<int16_t> port = std::nullopt);

    // ---- Identity ------------------------------------------------------------------
    // The scanner's application-1 revision number (322 for 3.22), set from every
    // successful "<APP1RV:>" exchange whatever QuietRevQuery says; 0 at start. Serial
    // number and registration key exist from 322 on.
    int16_t App1RevNumber = 0;
    // True only around the start-up query, so that start-up learns the revision without
    // showing it.
    bool QuietRevQuery = false;
    // Every identity answer, whole (the faces cut what they show).
    ScannerIdentity identity;
    // What Receive asks of a face's identity fields; unset hooks do nothing.
    settings::ReceiveIdentityHooks receiveIdentity;
    // The identity queries of Receive in order ("<APP1RV:>" ... "<WEBSIT:>", then from
    // revision 3.22 on "<SERIAL:>" and "<REGKEY:>"; below, receiveIdentity's
    // serialNotSupported); panel 2 names the first failure. 1 when the chain ran to its
    // end (and the registration entry was emptied), 0 after a failure.
    int16_t ReadIdentity();
    // "<FACDEF=1>"; once acknowledged the port switches to 9600,N,8,1 (left open), panel
    // 1 shows it and Receive runs. Not acknowledged: panel 2 "Error in Sending Defaults",
    // the port keeps its settings. 1 when the defaults were acknowledged, the port
    // followed and Receive read the setup back.
    int16_t FactoryDefault();
    // From revision 3.22 on, sends "<REGKEY=" + key + ">" with key as typed; below,
    // sends nothing.
    KeyWrite WriteRegistrationKey(const QString& key);

    // ---- Scanner settings ----------------------------------------------------------
    // The setup the core sends, receives into and exchanges with files: the window's
    // tabs or a setup in memory. Must be set before Send, Receive or a setup file.
    void setSetup(settings::SetupView* setup) { setup_ = setup; }
    settings::SetupView& setup() { return *setup_; }
    // Send: the whole setup in one exchange; once acknowledged, the PC port takes the
    // scanner's new line settings and panel 1 shows them (1). Not acknowledged, or a
    // port that cannot follow: panel 2 "Error in Sending", 0.
    int16_t SendSetup();
    // Receive: "<SETPAR:>" (its answer applied to the setup), then ReadIdentity. 1 when
    // both went through; 0 with panel 2 naming the failure.
    int16_t ReceiveSetup();
    // The "<SETPAR:>" answer rule: panel 2 "Current Settings", then every record of the
    // answer applied to the setup in order.
    void SettingsAnswer(const QString& answer);
    // The setup as a setup file at path (replaced in one step; a file that did not reach
    // the disk is an error), and a setup file's records applied to the setup.
    std::optional<FileError> SaveSetupFile(const QString& path);
    std::optional<FileError> OpenSetupFile(const QString& path);

    // ---- Firmware upgrade ----------------------------------------------------------
    // The control's Settings as they were before a fast load switched the port to
    // 115200; the upload's Cancel switches back to them. Empty until the first fast load.
    QString SavedPortSettings;
    // The control's thresholds as they were when an upload began.
    int16_t SavedRThreshold = 0;
    int16_t SavedSThreshold = 0;

    // The fast load, when wanted: keeps Settings in SavedPortSettings, sends
    // "<RSBAUD=115200>" and, once acknowledged, sets the port (left open) to 115200 with
    // the same parity, data and stop bits. 1 when switched or no switch is wanted, 0 when
    // the scanner did not acknowledge (the port keeps its settings). Control errors
    // propagate (the load reports them).
    int16_t Fast_Load(bool wanted);
    // Whether loading with the load token TempCommand may go ahead: asks the scanner its
    // application-1 revision ("<APP1RV:>"; not answered gives 0) and, when imageVersion
    // (the header's version as shown, a blank first) is older by the digit rule (3.22 is
    // 322, 3.3 is 33), asks the "WARNING" question (Yes 1, No 0); 1 otherwise. Nothing
    // (an empty result, which callers take as a refusal) for a token other than
    // application 1's. Throws RunTimeError 13 when a revision is not a number.
    std::optional<int16_t> Check_Rev(const QString& TempCommand, const QString& imageVersion);
    // An upload begins: the thresholds are kept in SavedRThreshold and SavedSThreshold and
    // set to 0, so no receive event reaches the exchange during the binary transfer.
    void BeginUpload();
    // Hands path to the control's ZMODEM transmit job, the port in binary mode without
    // receive events: InputLen 0, ComType 0, InputMode 1, Protocol 5, RThreshold 0,
    // SThreshold 0, FileName, FileTransmit True, in this order. Control errors propagate.
    void StartTransmit(const QString& path);
    // Cancel of a running upload: the job stops; with fastLoad, scanner and port go back
    // to SavedPortSettings' rate (nothing when none was saved). Errors of the steps do not
    // stop the rest; the last one's description is returned.
    std::optional<QString> CancelTransfer(bool fastLoad);
    // An upload ends: the thresholds come back and the control returns to text mode
    // (ComType 0, InputMode 0, Protocol 0, FileTransmit False); the port stays open with
    // its settings. Each step runs whatever the one before did; the last error's
    // description is returned.
    std::optional<QString> EndUpload();
    // What follows a complete upload: the "Restart" box, the automatic detection, a ping
    // and, when the scanner answers it, Receive. 1 when the setup was read back.
    int16_t AfterUpload();

    // ---- Serial devices ------------------------------------------------------------
    // The machine's serial devices (app/devices/device_source.h); nullptr until a face
    // gives the core a source. Giving one starts its watch and the replug recovery
    // (app/devices/replug_recovery.h), which the control's line events also reach.
    void setDeviceSource(std::unique_ptr<devices::DeviceSource> source);
    devices::DeviceSource* deviceSource() const { return devices_.get(); }
    // nullptr without a device source.
    devices::ReplugRecovery* replugRecovery() const { return replug_.get(); }

    // ---- Link operations and the end ----------------------------------------------
    // Runs action now, or, while a link operation runs, as soon as it has ended (a later
    // request replaces an earlier one still waiting). Nothing once the program ends.
    void whenLinkFree(std::function<void()> action);
    bool linkBusy() const { return linkBusy_ > 0; }
    // The program is ending: every wait stops, no further box is shown.
    void end() { ending_ = true; }
    bool isEnding() const { return ending_; }

    // ---- What the core shows --------------------------------------------------------
    // The face that shows the core's state; nullptr (the start) shows nothing. The view
    // must outlive the core or be unset first.
    void setView(CoreView* view) { view_ = view; }
    void setPanelText(int panel, const QString& text);
    // "Settings: " + Settings + "  Com Port: " + CommPort.
    QString openPortText();
    // Shows a run-time error's description: exclamation icon, OK, the program's title.
    void showRunTimeError(const QString& description);
    // The window the core's boxes belong to (nullptr: none).
    QWidget* dialogOwner() const { return view_ != nullptr ? view_->dialogOwner() : nullptr; }
    void showConnected(bool connected);
    void setScannerButtons(bool enabled);
    CoreView* view() const { return view_; }

private:
    friend class LinkOperation;

    // The waits of ExchangeCommand: true on ACK (the rest stays in AnswerBuffer).
    bool waitForAck();
    bool waitForAnswer();
    // The identity answers' rule, and the detection's ends.
    void registerIdentityRules();
    void detectionCancelled();
    void detectionFound();

    std::unique_ptr<CommControlHost> commHost_;
    // Declared before the control's host goes: the recovery is destroyed first.
    std::unique_ptr<devices::DeviceSource> devices_;
    std::unique_ptr<devices::ReplugRecovery> replug_;
    AnswerRules answerRules_;
    CoreView* view_ = nullptr;
    settings::SetupView* setup_ = nullptr;
    int linkBusy_ = 0;
    std::function<void()> deferredLinkAction_;
    bool ending_ = false;
};

// Marks a link operation running for its lifetime; when the last one ends, an action
// deferred by whenLinkFree is posted.
class LinkOperation {
public:
    explicit LinkOperation(ProgramCore& core);
    ~LinkOperation();
    LinkOperation(const LinkOperation&) = delete;
    LinkOperation& operator=(const LinkOperation&) = delete;

private:
    ProgramCore& core_;
};

} // namespace tcu
