// The main window's part of the automatic baud detection: "Auto Baud Detect" and what
// the window shows while the core's detection runs.
#include "app/forms/form1.h"

namespace tcu {

void Form1::mnuauto_Click() {
    if (isEnding())
        return;
    if (linkBusy()) {
        whenLinkFree([this] { mnuauto_Click(); });
        return;
    }
    core_->AutoBaudDetect();
}

void Form1::detectionStarted() {
    mnuauto->setEnabled(false);
    mnumanual->setEnabled(false);
    SSTab1->setEnabled(false);
}

void Form1::detectionOpened() {
    form2().show();
}

void Form1::detectionTrying(const QString& rate, const QString& port) {
    form2().Label3->setText(rate);
    form2().Label2->setText(port);
}

void Form1::detectionEnded(DetectionOutcome outcome) {
    switch (outcome) {
    case DetectionOutcome::PortClosed:
        // A Retry whose open failed must not leave the progress display up.
        if (form2Loaded())
            form2().hide();
        mnuauto->setEnabled(true);
        mnumanual->setEnabled(true);
        return;
    case DetectionOutcome::Cancelled:
        cmdSend->setEnabled(false);
        cmdReceive->setEnabled(false);
        cmdFactory->setEnabled(false);
        cmdRevision->setEnabled(false);
        cmdWeb->setEnabled(true);
        form2().hide();
        mnuauto->setEnabled(true);
        mnumanual->setEnabled(true);
        SSTab1->setEnabled(true);
        return;
    case DetectionOutcome::Found:
        form2().hide();
        cmdSend->setEnabled(true);
        cmdReceive->setEnabled(true);
        cmdFactory->setEnabled(true);
        SSTab1->setEnabled(true);
        mnuauto->setEnabled(true);
        mnumanual->setEnabled(true);
        return;
    case DetectionOutcome::Ended:
        return;
    }
}

} // namespace tcu
