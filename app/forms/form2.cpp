#include "app/forms/form2.h"

#include "app/forms/twips.h"

namespace tcu {

Form2::Form2(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    // A progress display must not block the main window while the detection runs.
    setModal(false);
    Form_Load();
}

void Form2::Form_Load() {
    adjustSize();
    centreOnScreen(this);
}

} // namespace tcu
