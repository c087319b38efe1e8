// The "&Upgrade" menu: loading a firmware image into the scanner's ROM, up to the
// moment the control's transmit job starts (Form3 watches it from there).
#include <QApplication>

#include "app/forms/form1.h"
#include "app/forms/form3.h"
#include "app/identity/identity_display.h"
#include "app/identity/identity_fields.h"
#include "app/link/comm_control_host.h"
#include "app/link/run_time_error.h"
#include "app/upgrade/image_header.h"
#include "app/upgrade/upgrade_boxes.h"
#include "app/upgrade/upgrade_rules.h"
#include "vort/property_values.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

namespace tcu {

namespace {

using upgrade::ask;
using vort::dialogs::Answer;
using vort::dialogs::Buttons;
using vort::dialogs::Icon;

// What each load item sends and how its ROM question is titled.
struct LoadTarget {
    int16_t index;
    const char* token;
    const char* title;
};

constexpr LoadTarget kLoadTargets[] = {
    {1, "<BTCODE=Z>", "Boot File into ROM..."},
    {2, "<A1CODE=Z>", "Application 1 File into ROM..."},
    {3, "<A2CODE=Z>", "Application 2 File into ROM..."},
};

constexpr int16_t kFastLoadItem = 5;
// Run-time error of a cancelled file dialog (the dialog raises it when asked to).
constexpr int kErrDialogCancelled = 32755;

const LoadTarget* loadTarget(int16_t index) {
    for (const LoadTarget& t : kLoadTargets)
        if (t.index == index)
            return &t;
    return nullptr;
}

// The load's one error handler.
void reportLoadError(QWidget* owner, const RaisedError& error) {
    switch (error.number) {
    case kErrDialogCancelled:
        return;
    case upgrade::kErrFileAlreadyOpen:
        ask(owner, QStringLiteral("Cannot copy an open file. Close it and try again."),
            QStringLiteral("Note"), Buttons::Ok, Icon::Information);
        return;
    case upgrade::kErrDiskNotReady:
    case upgrade::kErrPathNotFound:
        ask(owner, QStringLiteral("Cannot open the drive"), QStringLiteral("Note"), Buttons::Ok,
            Icon::Information);
        return;
    default:
        ask(owner,
            QStringLiteral("Error # ") + QString::number(error.number) + QLatin1Char(' ') +
                error.description,
            QStringLiteral("Error"), Buttons::Ok, Icon::Critical);
        return;
    }
}

} // namespace

void Form1::mnuload_Click(int16_t Index) {
    if (Index == kFastLoadItem) {
        mnuload_5->setChecked(!mnuload_5->isChecked());
        return;
    }
    const LoadTarget* target = loadTarget(Index);
    if (target == nullptr || isEnding())
        return;
    const QString token = QString::fromLatin1(target->token);
    const QString title = QString::fromLatin1(target->title);
    try {
        vort::dialogs::FileDialogRequest request;
        request.title = QStringLiteral("Select a BIN file");
        request.filters = {QStringLiteral("All files|*.*"),
                           QStringLiteral("BIN Files (*.bin)|*.bin")};
        request.filterIndex = 2;
        request.mustExist = true;
        request.owner = this;
        const vort::dialogs::FileDialogResult chosen = vort::dialogs::dialogs().fileDialog(request);
        if (chosen.cancelled || chosen.path.isEmpty())
            return;

        const std::optional<upgrade::ImageHeader> header = upgrade::readImageHeader(chosen.path);
        if (!header)
            return; // the header alone, or less: not an image

        Form3& upload = form3();
        upload.texts[0]->setText(header->codeSize);
        upload.texts[1]->setText(header->crc16);
        upload.texts[2]->setText(header->version);
        upload.texts[3]->setText(header->date);
        upload.ProgressBar1->setVisible(false);
        upload.show();

        if (ask(this, QStringLiteral("Do You Want to Update the ROM?"), title, Buttons::YesNo) !=
            Answer::Yes) {
            unloadForm3();
            return;
        }
        const std::optional<int16_t> goAhead = Check_Rev(token);
        if (goAhead.value_or(0) != 1) {
            unloadForm3();
            return;
        }
        if (Fast_Load() != 1)
            return; // the window stays; its Cancel closes it
        if (ExchangeCommand(token) != 1) {
            unloadForm3();
            return;
        }
        // The window may have been closed while the token was on its way; the job
        // would then run without anyone watching it.
        if (!form3Loaded())
            return;

        upload.Timer3.setEnabled(true);
        sbrStatus->setPanelText(2, QString());
        core_->StartTransmit(chosen.path);
        upload.Timer1.setEnabled(true);
    } catch (...) {
        const std::optional<RaisedError> error = currentRunTimeError();
        if (!error)
            throw;
        QApplication::restoreOverrideCursor();
        reportLoadError(this, *error);
    }
}

std::optional<int16_t> Form1::Check_Rev(const QString& TempCommand) {
    return core_->Check_Rev(TempCommand, form3().texts[2]->text());
}

Form3& Form1::form3() {
    if (!form3_) {
        form3_ = new Form3(*this);
        loadedWindows_.emplace_back(form3_.data());
    } else if (!form3Loaded_) {
        form3_->reload();
    }
    form3Loaded_ = true;
    return *form3_;
}

void Form1::unloadForm3() {
    if (!form3Loaded())
        return;
    form3Loaded_ = false;
    form3_->Form_Unload();
    form3_->hide();
}

int16_t Form1::Fast_Load() {
    return core_->Fast_Load(mnuload_5->isChecked());
}

void Form1::connectUpgradeEvents() {
    // mnuload_5 flips its own check when chosen (a check item).
    connect(mnuload_2, &QAction::triggered, this, [this] { mnuload_Click(2); });
    connect(mnuload_3, &QAction::triggered, this, [this] { mnuload_Click(3); });
    // Progress reaches the upload window only while it is loaded: a late report after
    // it was closed must not load it again, which would take the control's thresholds.
    commHost().onFileInfo = [this](int16_t action, int32_t bytes) {
        if (form3Loaded())
            form3_->fileInfo(action, bytes);
    };
}

} // namespace tcu
