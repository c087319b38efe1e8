// Form2: the About window, which the automatic baud detection also uses as its
// progress display (Label2 "COM:" + port + " at", Label3 the rate being tried).
// Loaded on first use by the main window; centred on the screen when it loads.
// GUI thread only.
#pragma once

#include <QDialog>

#include "ui_form2.h"

namespace tcu {

// The About picture, in pixels.
inline constexpr QSize kAboutPictureSize{268, 289};

class Form2 : public QDialog, public Ui::Form2 {
    Q_OBJECT
public:
    explicit Form2(QWidget* parent = nullptr);

    // Load: centre on the screen.
    void Form_Load();
    // "&OK" of the About view: hides itself, shows the detection labels again and hides
    // the window.
    void Command3_Click();
};

} // namespace tcu
