// Form3 "Upload Binary File": the window that accompanies one firmware load. It shows
// the image header, animates while the control transmits, shows the bytes sent, lets
// the operator cancel, and once the job has stopped tells the operator to restart the
// scanner, finds it again and reads its setup back.
//
// Loading it takes over the control's thresholds (saved, then 0, so no receive event
// reaches the command exchange during the binary transfer); unloading gives them back
// and puts the control into text mode again. The port stays open with its settings.
// The main window loads and unloads it (Form1::form3, Form1::unloadForm3); an unloaded
// window is only hidden and starts from its design state when loaded again.
// GUI thread only.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <array>
#include <cstdint>

#include "app/link/window_timer.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tcu {

class Form1;

class Form3 : public QDialog {
public:
    // Loads the window (not shown): Form_Load runs here.
    explicit Form3(Form1& main);

    // The core's BeginUpload (the control's thresholds saved, then 0), Timer3's
    // interval to 1000 ms and AnimFrame to 0.
    void Form_Load();
    // Disables Timer3 and Timer1, then the core's EndUpload (thresholds back, text mode);
    // control errors are shown and do not stop the rest.
    void Form_Unload();
    // Timer1 (100 ms): the next animation cell, cell 0 again after cell 17.
    void Timer1_Timer();
    // OnFileInfo of the control: shows the bar, range 0..FileSize (at least 1), value
    // bytes (at most the maximum). The action code is not looked at.
    void fileInfo(int16_t action, int32_t bytes);
    // "&Cancel": asks "Do you want to CANCEL the file transfer?"; Yes stops the job,
    // switches scanner and port back to the saved rate when fast load is on, and
    // unloads the window. No changes nothing.
    void Command1_Click();
    // Timer3 (1 s): once the control's job has stopped, starts the completion wait.
    void Timer3_Timer();
    // Timer2 (7 s after the job stopped): unloads the window; when the bar is full, the
    // "Restart" box, the automatic detection, the ping and Receive follow.
    void Timer2_Timer();
    // Back to the design state (header fields empty, bar hidden with range 0..100,
    // timers off), then Form_Load: a load after an unload.
    void reload();
    // The cell of the strip Picture1 shows now.
    int16_t shownCell() const { return shownCell_; }

    std::array<QLabel*, 8> labels{};      // Label1..Label8 at [0]..[7]
    std::array<QLineEdit*, 4> texts{};    // Text1..Text4 at [0]..[3]
    QPushButton* Command1 = nullptr;      // "&Cancel"
    QProgressBar* ProgressBar1 = nullptr; // hidden until the first OnFileInfo
    QLabel* Picture1 = nullptr;           // the current animation cell
    WindowTimer Timer1;                   // animation, 100 ms
    WindowTimer Timer2;                   // completion wait, 7000 ms
    WindowTimer Timer3;                   // job watch, 1000 ms from load
    int16_t AnimFrame = 0;                // the animation cell on show, 0..17

protected:
    // The close box: the same unload as Cancel, without the question and without
    // switching the rate back.
    void closeEvent(QCloseEvent* event) override;

private:
    void showCell(int16_t cell);
    void resetToDesign();

    Form1& main_;
    QPixmap strip_; // PictureClip1: 18 cells side by side
    int16_t shownCell_ = 0;
};

} // namespace tcu
