// What the program core shows and the face that shows it: the main window draws it on
// its status bar, the terminal prints what its operator needs. Every call comes from
// the core's thread; a face may ignore what it has no place for.
#pragma once

#include <QString>

class QWidget;

namespace tcu {

// How an automatic baud detection ended.
enum class DetectionOutcome {
    Found,      // a rate answered the ping: the port is open at it
    PortClosed, // the port could not be opened
    Cancelled,  // no rate answered and the operator did not retry: the port is closed
    Ended,      // the program ended meanwhile
};

class CoreView {
public:
    virtual ~CoreView() = default;
    // Status panel 1 (the line: "Settings: ..." or "Settings: Closed") or 2 (the
    // running operation and its failure text).
    virtual void setPanelText(int panel, const QString& text) = 0;
    // The window the core's message boxes belong to; nullptr when there is none.
    virtual QWidget* dialogOwner() { return nullptr; }
    // The port is open (true) or closed (false).
    virtual void showConnected(bool connected) { (void)connected; }
    // True while the operator is in the middle of something the program must not
    // change under them: a modal box or window, a firmware transfer. Replug recovery
    // waits until it is false.
    virtual bool mustNotInterrupt() { return false; }
    // Off while an operation talks to the scanner (Send, Receive, factory default),
    // on again at its end: the scanner buttons.
    virtual void setScannerButtons(bool enabled) { (void)enabled; }

    // The automatic detection: started (before the port is opened), the port opened,
    // each rate tried (rate: the rate right-aligned in 6 characters; port: "COM:" + the
    // port number + " at"), and how it ended (after the core's own state is set).
    virtual void detectionStarted() {}
    virtual void detectionOpened() {}
    virtual void detectionTrying(const QString& rate, const QString& port) {
        (void)rate;
        (void)port;
    }
    virtual void detectionEnded(DetectionOutcome outcome) { (void)outcome; }
};

} // namespace tcu
