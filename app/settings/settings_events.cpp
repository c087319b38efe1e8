// Wiring of the settings' buttons, menu items and picker entries to their procedures.
#include <QVBoxLayout>

#include "app/forms/form1.h"
#include "app/settings/prefix_suffix_editor.h"
#include "app/settings/settings_window.h"
#include "app/settings/tab_rows.h"

namespace tcu {

void Form1::connectSettingsEvents() {
    settings::SettingsWindow& w = *settings_;
    connect(cmdSend, &QPushButton::clicked, this, [this] { cmdSend_Click(); });
    connect(cmdReceive, &QPushButton::clicked, this, [this] { cmdReceive_Click(); });
    connect(mnusave, &QAction::triggered, this, [this] { mnusave_Click(); });
    connect(mnuopen, &QAction::triggered, this, [this] { mnuopen_Click(); });

    connect(w.cmdCtrlPre, &QPushButton::clicked, this,
            [&w] { settings::toggleCharPicker(w.CharList); });
    connect(w.cmdCtrlSuf, &QPushButton::clicked, this,
            [&w] { settings::toggleCharPicker(w.CharList2); });
    for (int code : settings::pickerCodes()) {
        w.CharList.entries[code]->onClick = [&w, code] {
            settings::pickControlChar(*w.Text2, w.CharList, code);
        };
        w.CharList2.entries[code]->onClick = [&w, code] {
            settings::pickControlChar(*w.Text3, w.CharList2, code);
        };
    }

    // The ten tab captions in two rows of five, above the tab pages.
    auto* rows = new settings::TabRows(*SSTab1, 5, centralwidget);
    centralLayout->insertWidget(centralLayout->indexOf(SSTab1), rows);
    centralLayout->setSpacing(0);
}

} // namespace tcu
