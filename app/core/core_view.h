// What the program core shows and the face that shows it: the main window draws it on
// its status bar, the terminal prints what its operator needs. Every call comes from
// the core's thread; a face may ignore what it has no place for.
#pragma once

#include <QString>

class QWidget;

namespace tcu {

class CoreView {
public:
    virtual ~CoreView() = default;
    // Status panel 1 (the line: "Settings: ..." or "Settings: Closed") or 2 (the
    // running operation and its failure text).
    virtual void setPanelText(int panel, const QString& text) = 0;
    // The window the core's message boxes belong to; nullptr when there is none.
    virtual QWidget* dialogOwner() { return nullptr; }
};

} // namespace tcu
