#include "app/forms/form2.h"

#include "app/forms/twips.h"

namespace tcu {

Form2::Form2(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    // A progress display must not block the main window while the detection runs.
    setModal(false);
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    Form_Load();
}

void Form2::Command3_Click() {
    Command3->setVisible(false);
    Label2->setVisible(true);
    Label3->setVisible(true);
    hide();
}

void Form2::Form_Load() {
    adjustSize();
    centreOnScreen(this);
}

} // namespace tcu
