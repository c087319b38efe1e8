// Form4 "Comm Port Settings": the manual port window. The operator picks the port
// (Combo1, "Com 1".."Com 6": port = list position + 1), the rate (Combo2) and the
// parity (Combo3); data bits 8 and stop bits 1 are fixed. Shown modally from the
// main window's "&Manual Baud Setting...". Beside the port list, labPortDevice shows the
// device the chosen port maps to and whether it is present (empty without the core's
// device source); it follows the choice and devices plugged in or pulled out.
//
// Command1_Click ("&Open Port") lives with the port connection code
// (app/link/manual_port.cpp). GUI thread only.
#pragma once

#include <QDialog>

#include "ui_form4.h"

namespace tcu {

class Form1;

class Form4 : public QDialog, public Ui::Form4 {
    Q_OBJECT
public:
    // Loads the window for main (its owner and the window whose port it sets) and
    // runs Form_Load. The combo boxes start with their design texts: "Com Ports",
    // "9600", "NONE".
    explicit Form4(Form1& main);

    // Centres the window and selects "Com 1".
    void Form_Load();
    // "&Open Port": open the chosen port, ping the scanner, keep the choice.
    void Command1_Click();
    // "&Cancel": hide the window; nothing else changes.
    void Command2_Click();
    // Shows in labPortDevice what the chosen port maps to.
    void showPortDevice();

private:
    Form1& main_;
};

} // namespace tcu
