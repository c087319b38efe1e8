#include "app/forms/status_panels.h"

namespace tcu {

StatusPanels::StatusPanels(QWidget* parent)
    : QStatusBar(parent), panel1_(new QLabel(this)), panel2_(new QLabel(this)) {
    panel1_->setObjectName(QStringLiteral("sbrStatusPanel1"));
    panel2_->setObjectName(QStringLiteral("sbrStatusPanel2"));
    for (QLabel* label : {panel1_, panel2_}) {
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(60);
    }
    addWidget(panel1_, 1);
    addWidget(panel2_, 1);
    setSizeGripEnabled(false);
}

QLabel* StatusPanels::panel(int number) const {
    return number == 1 ? panel1_ : number == 2 ? panel2_ : nullptr;
}

QString StatusPanels::panelText(int number) const {
    QLabel* label = panel(number);
    return label ? label->text() : QString();
}

void StatusPanels::setPanelText(int number, const QString& text) {
    QLabel* label = panel(number);
    if (!label)
        return;
    label->setText(text);
    emit panelTextChanged(number, text);
}

} // namespace tcu
