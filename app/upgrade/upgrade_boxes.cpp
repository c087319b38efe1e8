#include "app/upgrade/upgrade_boxes.h"

namespace tcu::upgrade {

vort::dialogs::Answer ask(QWidget* owner, const QString& text, const QString& title,
                          vort::dialogs::Buttons buttons, vort::dialogs::Icon icon) {
    vort::dialogs::MessageBoxRequest box;
    box.text = text;
    box.title = title;
    box.icon = icon;
    box.buttons = buttons;
    box.owner = owner;
    return vort::dialogs::dialogs().messageBox(box);
}

} // namespace tcu::upgrade
