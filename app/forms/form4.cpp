#include "app/forms/form4.h"

#include "app/devices/device_source.h"
#include "app/forms/form1.h"
#include "app/forms/twips.h"

namespace tcu {

Form4::Form4(Form1& main) : QDialog(&main), main_(main) {
    setupUi(this);
    // Design texts shown with no list entry chosen, as the window was designed.
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(QStringLiteral("Com Ports"));
    Combo2->setCurrentIndex(-1);
    Combo2->setEditText(QStringLiteral("9600"));
    Combo3->setCurrentIndex(-1);
    Combo3->setEditText(QStringLiteral("NONE"));
    // Typing a text must not add entries to the lists.
    for (QComboBox* combo : {Combo1, Combo2, Combo3})
        combo->setInsertPolicy(QComboBox::NoInsert);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this] { showPortDevice(); });
    if (devices::DeviceSource* source = main_.core().deviceSource())
        connect(source, &devices::DeviceSource::changed, this, [this] { showPortDevice(); });
    Form_Load();
}

void Form4::Form_Load() {
    adjustSize();
    centreOnScreen(this);
    Combo1->setCurrentIndex(0);
}

void Form4::showPortDevice() {
    devices::DeviceSource* source = main_.core().deviceSource();
    const int index = Combo1->currentIndex();
    labPortDevice->setText(
        source != nullptr && index >= 0 ? devices::portDeviceText(*source, index + 1) : QString());
}

void Form4::Command2_Click() {
    hide();
}

} // namespace tcu
