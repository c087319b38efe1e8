#include "control/object/about_box.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QPointer>
#include <cstdio>

#include "control/object/control_resources.h"
#include "control/object/release_info.h"
#include "control/object/vort_ctrl.h"
#include "platform/component/error.h"
#include "platform/dialogs/dialogs.h"
#include "ui_about_box.h"

namespace vort {

namespace {

constexpr int kIconSize = 32;

} // namespace

QString aboutVersionLine() {
    char text[96];
    std::snprintf(text, sizeof text, "Version %d.%d R%d, Build %s, %s", kVersionMajor,
                  kVersionMinor, kReleaseNumber, kBuildDate, kBuildTime);
    return QString::fromLatin1(text);
}

VortAboutBox::VortAboutBox(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::AboutBoxForm>()) {
    ui_->setupUi(this);
    ui_->iconLabel->setPixmap(controlIcon(QSize(kIconSize, kIconSize)));
    ui_->iconLabel->setFixedSize(kIconSize, kIconSize);
    QFont heading = ui_->headingLabel->font();
    heading.setBold(true);
    ui_->headingLabel->setFont(heading);
    ui_->versionLabel->setText(aboutVersionLine());
    connect(ui_->okButton, &QPushButton::clicked, this, [this] { accept(); });

    timer_.setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the box promises ten full seconds.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kAutoCloseMs);
    connect(&timer_, &QTimer::timeout, this, [this] { accept(); });
}

VortAboutBox::~VortAboutBox() = default;

void VortAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!ending_ && !timer_.isActive())
        timer_.start();
}

void VortAboutBox::done(int result) {
    ending_ = true;
    timer_.stop();
    QDialog::done(result);
    ending_ = false;
}

void VortAboutBox::closeEvent(QCloseEvent* event) {
    // A close that is not the end of OK, the timer or Escape is the window's close
    // command: the timer stops first, so it cannot end the dialog under the box.
    if (!ending_) {
        timer_.stop();
        dialogs::MessageBoxRequest box;
        box.title = QStringLiteral("Dialog Closing");
        box.owner = this;
        QPointer<VortAboutBox> self(this);
        dialogs::dialogs().messageBox(box);
        if (!self)
            return;
    }
    QDialog::closeEvent(event);
}

void CVortCtrl::AboutBox() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        throw component::ComponentError(
            component::kErrInvalidProcedureCall,
            "The About box needs a windowed host: this program runs without a widget application");
    VortAboutBox box(QApplication::activeWindow());
    box.exec();
}

} // namespace vort
