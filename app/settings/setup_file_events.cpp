// The main window's "&Save SetUp As..." and "&Open Setup...": a file dialog, then the
// core's setup file procedures; a failure is shown in a box.
#include <QApplication>

#include "app/forms/form1.h"
#include "platform/dialogs/dialogs.h"

namespace tcu {

namespace {

vort::dialogs::FileDialogResult askForFile(QWidget* owner, bool save) {
    vort::dialogs::FileDialogRequest request;
    request.save = save;
    request.title = QStringLiteral("Select a TXT file");
    request.filters = {QStringLiteral("All files|*.*"), QStringLiteral("Text Files (*.txt)|*.txt")};
    request.filterIndex = 2;
    // Opening takes only a file that exists; saving takes a new name too, and replaces
    // an existing file without asking.
    request.mustExist = !save;
    request.confirmOverwrite = false;
    request.owner = owner;
    return vort::dialogs::dialogs().fileDialog(request);
}

void showFileError(QWidget* owner, const FileError& error) {
    QApplication::restoreOverrideCursor();
    vort::dialogs::MessageBoxRequest box;
    box.text = QStringLiteral("Error # ") + QString::number(error.number) + QLatin1Char(' ') +
               error.description;
    box.title = QStringLiteral("Error");
    box.icon = vort::dialogs::Icon::Critical;
    box.buttons = vort::dialogs::Buttons::Ok;
    box.owner = owner;
    vort::dialogs::dialogs().messageBox(box);
}

} // namespace

void Form1::mnusave_Click() {
    const auto chosen = askForFile(this, true);
    if (chosen.cancelled || chosen.path.isEmpty())
        return;
    if (const auto error = core_->SaveSetupFile(chosen.path))
        showFileError(this, *error);
}

void Form1::mnuopen_Click() {
    const auto chosen = askForFile(this, false);
    if (chosen.cancelled || chosen.path.isEmpty())
        return;
    if (const auto error = core_->OpenSetupFile(chosen.path))
        showFileError(this, *error);
}

} // namespace tcu
