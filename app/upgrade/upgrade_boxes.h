// The message boxes of the firmware load and its upload window.
#pragma once

#include <QString>

#include "platform/dialogs/dialogs.h"

class QWidget;

namespace tcu::upgrade {

// Shows text titled title through the dialog facade and returns the button pressed.
// owner: the window the box belongs to (nullptr: none).
vort::dialogs::Answer ask(QWidget* owner, const QString& text, const QString& title,
                          vort::dialogs::Buttons buttons,
                          vort::dialogs::Icon icon = vort::dialogs::Icon::None);

} // namespace tcu::upgrade
