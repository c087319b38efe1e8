// The control's About box: a modal dialog with the control's icon, its name, its
// version line and an OK button. It ends by itself after ten seconds; closing it
// through the window's close command (the title bar's close button, the window
// manager's close) stops that timer and first shows a message box captioned
// "Dialog Closing" with an empty text, through the dialog facade.
//
// Thread rule: GUI thread only; needs a QApplication.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <memory>

#include "platform/component/module.h"

namespace Ui {
class AboutBoxForm;
}

namespace vort {

// "Version 2.7 R69, Build Jan 12 2002, 19:15:36": formatted from
// "Version %d.%d R%d, Build %s, %s" with the version, release and build stamp.
QString aboutVersionLine();

class VortAboutBox final : public QDialog {
public:
    // How long the box stays up unless closed sooner, in milliseconds.
    static constexpr int kAutoCloseMs = 10000;

    explicit VortAboutBox(QWidget* parent = nullptr);
    ~VortAboutBox() override;

    // Whether the ten-second timer is still running.
    bool timerActive() const { return timer_.isActive(); }

    // Every way the dialog ends (OK, the timer, Escape) passes here.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::AboutBoxForm> ui_;
    QTimer timer_;
    bool ending_ = false;
    // The dialog's code lives in the control's library; it stays loaded while the
    // dialog exists.
    component::ModuleLock moduleLock_;
};

} // namespace vort
