#include "support/qt_file_dialog_driver.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace vort::test {

QtFileDialogDriver::QtFileDialogDriver(QString name) : name_(std::move(name)) {
    timer_.setInterval(20);
    connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
    timer_.start();
}

void QtFileDialogDriver::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        raised_ << box->text();
        state_ = State::Cancelling;
        box->reject();
        return;
    }
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    switch (state_) {
    case State::Waiting:
        if (!dialog)
            return;
        filters_ = dialog->nameFilters();
        firstFilter_ = dialog->selectedNameFilter();
        state_ = State::Accepted;
        pollsSinceAccept_ = 0;
        // Typed and accepted in one go, once this poll has returned: the dialog's file
        // list fills in the background and may replace a name typed earlier, and a
        // timer does not fire while its own slot runs, so a box accept() raises needs
        // the next poll.
        // The name goes into the name box as typed (selectFile() leaves a box that has
        // the focus alone).
        QTimer::singleShot(0, dialog, [dialog, name = name_] {
            if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                edit->setText(name);
            else
                dialog->selectFile(name);
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        });
        return;
    case State::Accepted:
        // Still open many polls after the accept: refused without a box. Give up as a
        // user would.
        if (dialog) {
            if (++pollsSinceAccept_ > 25) {
                raised_ << QStringLiteral("(the dialog stayed open)");
                state_ = State::Cancelling;
            }
            return;
        }
        break;
    case State::Cancelling:
        if (dialog) {
            dialog->reject();
            return;
        }
        break;
    case State::Done:
        return;
    }
    state_ = State::Done;
    timer_.stop();
}

} // namespace vort::test
