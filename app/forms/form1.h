// Form1: the program's main window, a view of the program core it owns (which holds
// the serial communication control CommCtl1, the engine's timer Timer1 and the shared
// state). The window holds the ten setting tabs (SSTab1), the scanner buttons, the
// status bar sbrStatus and the connection indicator FrameLED.
//
// The window's event procedures are members, each defined in the file of the
// subsystem it belongs to:
//   app/forms/form1.cpp          loading, the ways out, menus and display helpers
//   app/link/baud_detect.cpp     mnuauto_Click
//   app/link/manual_port.cpp     the manual port window's "&Open Port"
//   app/forms/devices_window.cpp "&Devices..." and "&Reconnect After Replug"
//   app/settings/...             the setting tabs, Send, Receive, setup files, editor
//   app/identity/...             identity fields, "&Factory", "&GoTo Web", About
//   app/upgrade/...              the firmware load, Form3's Cancel, job watch and completion
// Subsystems that come later add theirs the same way, connect them in
// connectEvents() and register their answer rules in registerAnswerRules().
//
// Link operations (an exchange, a ping, a detection) never run inside one another
// (app/core/program_core.h): a detection or the manual window asked for while one runs
// runs as soon as it ends.
//
// GUI thread only.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

#include "app/core/program_core.h"
#include "app/forms/devices_window.h"
#include "app/forms/form2.h"
#include "app/forms/form3.h"
#include "app/forms/form4.h"
#include "app/settings/identity_hooks.h"
#include "ui_form1.h"

namespace tcu {

class CommControlHost;
class IdentityFields;
namespace settings {
class SettingsWindow;
}

inline constexpr char kCaption[] = " TCU - 2.11";
// Run-time size of the main window, in twips.
inline constexpr int kForm1HeightTwips = 7815;
inline constexpr int kForm1WidthTwips = 8980;
// FrameLED sits this far below the top edge of the status bar, in twips.
inline constexpr int kFrameLedTopTwips = 30;

class Form1 : public QMainWindow, public Ui::Form1, private CoreView {
    Q_OBJECT
public:
    // Loads the window without showing it over core (a new one when nullptr, in the
    // state of a program that has just started): creates the core's CommCtl1 from the
    // control's class identifier with the window's stored design unless the core has it
    // already, gives the core the serial core's device source unless it has one, and
    // registers the window's answer rules. Throws ControlUnavailable when
    // the control cannot be had. Form_Load is not run here (Main runs it).
    explicit Form1(std::unique_ptr<ProgramCore> core = nullptr);
    ~Form1() override;

private:
    std::unique_ptr<ProgramCore> core_;

public:
    // The program core this window shows.
    ProgramCore& core() { return *core_; }
    // The core's serial communication control and the engine's time-out timer.
    CommControl& CommCtl1;
    WindowTimer& Timer1;

    // ---- Loading and the ways out (start-up) -----------------------------------
    // Centres the window; on the first load (StartupDetect 1) disables cmdFactory,
    // cmdReceive and cmdSend and runs the automatic detection to its end.
    void Form_Load();
    // Closing: the port is closed (errors ignored), the other windows are unloaded,
    // most recent first, and the program ends. Cancel is the caller's: nonzero keeps
    // the window (nothing sets it here).
    void Form_Unload(int16_t& Cancel);
    // "E&xit": the same unload as closing the window.
    void cmdExit_Click();
    // "&Exit" of "&File": ends the program at once; no unload runs.
    void mnuexit_Click();
    // True once the program is ending: every wait stops, no further box is shown.
    bool isEnding() const { return core_->isEnding(); }

    // ---- Command exchange engine (the core's) -----------------------------------
    int16_t ExchangeCommand(const QString& token) { return core_->ExchangeCommand(token); }
    QString ReadPortText(bool take) { return core_->ReadPortText(take); }
    AnswerRules& answerRules() { return core_->answerRules(); }

    // ---- Port connection and baud detection ------------------------------------
    // "&Auto Baud Detect": opens the saved port (IniPortCom) and tries the eight rates
    // with a ping each, asking Retry/Cancel when none answers.
    void mnuauto_Click();
    // "&Manual Baud Setting...": shows Form4 modally.
    void mnumanual_Click();
    // The core's ping.
    bool SendPingAndWait() { return core_->SendPingAndWait(); }

    // ---- Serial devices --------------------------------------------------------
    // "&Devices...": the Devices window, modally.
    void mnudevices_Click();
    // "&Reconnect After Replug" (a check item): the replug recovery on or off, kept in
    // tcu1.conf (app/devices/reconnect_setting.h); read when the window loads.
    void mnureconnect_Click();
    // The Devices window, loaded on first use.
    DevicesWindow& devicesWindow();

    // ---- Scanner settings ------------------------------------------------------
    // The setting tabs' widgets, and the window seen as the settings model.
    settings::SettingsWindow& settingsWindow() { return *settings_; }
    // "&Send": the core's Send of the tabs' setup.
    void cmdSend_Click() { core_->SendSetup(); }
    // "&Receive": the core's Receive into the tabs. Also run after an upload.
    void cmdReceive_Click() { core_->ReceiveSetup(); }
    // "&Save SetUp As..." and "&Open Setup...": the window's setup to and from a file of
    // setup records. Errors are shown as "Error # " + number + " " + description.
    void mnusave_Click();
    void mnuopen_Click();

    // ---- Identity, factory default, web link, About ----------------------------
    // The identity fields of tabs 0 and 9 with the "Write" button.
    IdentityFields& identity() { return *identity_; }
    // "&Factory": the core's factory default.
    void cmdFactory_Click() { core_->FactoryDefault(); }
    // "&GoTo Web": with the port open and labWeb not empty, hands the whole address the
    // scanner sent (not the 17 characters labWeb shows) to OpenWebPage; otherwise does
    // nothing.
    void cmdWeb_Click();
    // "&About TCU...": Form2 modally with "&OK" shown and the detection labels hidden.
    void mnuabout_Click();
    // Asks the desktop shell (through the dialog facade) to open WebAddress with its
    // associated program; the result is not examined.
    void OpenWebPage(const QString& WebAddress);

    // ---- Firmware upgrade ------------------------------------------------------
    // The core's Fast_Load, wanted when "Auto Fast Load @ 115200 Bps" is checked.
    int16_t Fast_Load();
    // "Auto Fast Load @ 115200 Bps" is mnuload_5, a check item: choosing it flips its
    // check (the action does that itself) and sends nothing. Off at every start.

    // The "&Upgrade" items by index: 1 the boot image (no menu entry), 2 "Load
    // Application &1 File into ROM...", 3 application 2 (disabled), 5 the fast-load
    // option (flips its check). 1 to 3 run the whole load: file choice, header shown
    // in Form3, the ROM question, Check_Rev, Fast_Load, the load token, then the
    // control's transmit job, which Form3 watches. Errors are shown in the boxes the
    // operator knows ("Note" for an open file or a missing drive, else "Error # ").
    void mnuload_Click(int16_t Index);
    // The core's Check_Rev with the version Form3 shows.
    std::optional<int16_t> Check_Rev(const QString& TempCommand);
    // The upload window, loaded on first use and after each unload (Form_Load runs).
    Form3& form3();
    bool form3Loaded() const { return form3_ != nullptr && form3Loaded_; }
    // Form3's unload: its timers stop, the control gets its thresholds and text mode
    // back and any transmit job is stopped; the window is hidden. Nothing when it is
    // not loaded.
    void unloadForm3();
    // What follows a complete upload once Form3 is unloaded: the core's AfterUpload, as
    // soon as no other link operation runs.
    void afterUpload();

    // ---- Display helpers -------------------------------------------------------
    // "Settings: " + Settings + "  Com Port: " + CommPort.
    QString openPortText() { return core_->openPortText(); }
    // Places the indicator's images kFrameLedTopTwips below the top edge of sbrStatus.
    void placeFrameLed();
    // Brings imgConnected (true) or imgNotConnected (false) to the front.
    void showConnected(bool connected) override;
    // Which image is in front.
    bool connectedShown() const;
    // Enables or disables cmdSend, cmdReceive, cmdFactory, cmdRevision and cmdWeb.
    void setScannerButtons(bool enabled) override;
    // Shows a run-time error's description: exclamation icon, OK, title "TCU1".
    void showRunTimeError(const QString& description) { core_->showRunTimeError(description); }
    // The About / detection window and the manual port window, loaded on first use.
    Form2& form2();
    Form4& form4();
    bool form2Loaded() const { return form2_ != nullptr; }
    bool form4Loaded() const { return form4_ != nullptr; }

    // The control's creation and event routing (onFileInfo, onModem for the upgrade).
    CommControlHost& commHost() { return core_->commHost(); }

    // Runs action now, or, while a link operation runs, as soon as it has ended (a
    // later request replaces an earlier one still waiting).
    void whenLinkFree(std::function<void()> action) { core_->whenLinkFree(std::move(action)); }
    bool linkBusy() const { return core_->linkBusy(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // CoreView: the status panels, and this window owns the core's boxes.
    void setPanelText(int panel, const QString& text) override;
    QWidget* dialogOwner() override { return isVisible() ? this : nullptr; }

    void connectEvents();
    void connectSettingsEvents();
    void connectIdentityEvents();
    void connectUpgradeEvents();
    void connectDeviceEvents();
    // CoreView: a modal window or box is up, or the upload window is loaded.
    bool mustNotInterrupt() override;
    void registerAnswerRules();
    void drawIndicatorImages();
    void endProgram();
    // CoreView: what the detection shows (menus, tabs, buttons, Form2).
    void detectionStarted() override;
    void detectionOpened() override;
    void detectionTrying(const QString& rate, const QString& port) override;
    void detectionEnded(DetectionOutcome outcome) override;

    std::unique_ptr<settings::SettingsWindow> settings_;
    IdentityFields* identity_ = nullptr; // owned by the window (a child QObject)
    QPointer<Form2> form2_;
    QPointer<Form4> form4_;
    QPointer<Form3> form3_;
    QPointer<DevicesWindow> devicesWindow_;
    bool form3Loaded_ = false;
    // Windows loaded besides this one, in load order.
    std::vector<QPointer<QWidget>> loadedWindows_;
};

} // namespace tcu
