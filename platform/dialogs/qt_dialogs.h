// The dialog facade on Qt Widgets: QMessageBox, QFileDialog and QDesktopServices. Its
// library makes it the standard facade (setStandardDialogs) when it is loaded; the build
// makes every program that links it load it.
//
// Texts may break lines with CR, LF or CR LF (the programs' texts use CR); each becomes
// one line break on screen. Thread rule: GUI thread only.
#pragma once

#include "platform/dialogs/dialogs.h"

namespace vort::dialogs {

class QtDialogs final : public DialogFacade {
public:
    Answer messageBox(const MessageBoxRequest& request) override;
    FileDialogResult fileDialog(const FileDialogRequest& request) override;
    bool shellOpen(const QString& url) override;
};

// text with every CR LF, lone CR and lone LF turned into one LF.
QString displayLines(const QString& text);

// "Setup Files (*.txt)|*.txt;*.set" -> "Setup Files (*.txt) (*.txt *.set)", but
// "Text Files (*.txt)|*.txt" -> "Text Files (*.txt)": a description that already ends
// with its patterns gets no second list. "*.*" becomes "*" (every file). A filter
// without "|" is passed on as it is.
QString qtFilter(const QString& filter);

} // namespace vort::dialogs
