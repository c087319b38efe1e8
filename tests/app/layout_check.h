// The layout check of the program's windows: every visible frame, button, label, text
// box and list of a window (or of one tab page) lies inside it, none overlaps a sibling,
// and no frame or button caption is cut. Failures name the window and the widgets.
#pragma once

#include <string>

class QWidget;

namespace tcu::test {

// Adds a test failure for each fault found among the visible children of page; where
// names the window or tab in the messages.
void expectTidyLayout(QWidget* page, const std::string& where);

} // namespace tcu::test
