// The upload window's event procedures while a firmware image is transmitted: Cancel,
// the job watch and the completion wait (the core's steps of the upload are in
// load_steps.cpp).
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/forms/form1.h"
#include "app/forms/form3.h"
#include "app/link/run_time_error.h"
#include "app/upgrade/upgrade_boxes.h"

namespace tcu {

namespace {

using upgrade::ask;
using vort::dialogs::Answer;
using vort::dialogs::Buttons;
using vort::dialogs::Icon;

} // namespace

void Form3::Command1_Click() {
    if (ask(this, QStringLiteral("Do you want to CANCEL the file transfer?"),
            QStringLiteral("Abort file transfer..."), Buttons::YesNo) != Answer::Yes)
        return;
    Form1& main = main_;
    // Errors are shown, and the rest still runs: the window must go and give the
    // control back its text mode whatever a step did.
    if (const std::optional<QString> error =
            main.core().CancelTransfer(main.mnuload_5->isChecked()))
        main.showRunTimeError(*error);
    main.unloadForm3();
}

void Form3::Timer3_Timer() {
    bool running = true;
    ErrorState err;
    err.run([&] { running = main_.CommCtl1.jobProcessing(); });
    // Enabling a running Timer2 does not restart its count.
    if (!err && !running)
        Timer2.setEnabled(true);
}

void Form3::Timer2_Timer() {
    Timer2.setEnabled(false);
    const bool complete = ProgressBar1->value() == ProgressBar1->maximum();
    Form1& main = main_;
    main.unloadForm3();
    if (complete)
        main.afterUpload();
}

void Form1::afterUpload() {
    if (isEnding())
        return;
    // The detection and the ping share the link with an exchange the operator may
    // have started meanwhile; they wait for it instead of running inside it.
    if (linkBusy()) {
        whenLinkFree([this] { afterUpload(); });
        return;
    }
    core_->AfterUpload();
}

} // namespace tcu
