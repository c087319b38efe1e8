#include "platform/dialogs/qt_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace vort::dialogs {

namespace {

QMessageBox::Icon qtIcon(Icon icon) {
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
    QMessageBox::StandardButton escapeButton;
};

ButtonSet qtButtons(Buttons buttons) {
    using B = QMessageBox;
    switch (buttons) {
    case Buttons::Ok:
        return {B::Ok, B::Ok, B::Ok};
    case Buttons::OkCancel:
        return {B::Ok | B::Cancel, B::Ok, B::Cancel};
    case Buttons::YesNo:
        return {B::Yes | B::No, B::Yes, B::No};
    case Buttons::YesNoCancel:
        return {B::Yes | B::No | B::Cancel, B::Yes, B::Cancel};
    case Buttons::RetryCancel:
        return {B::Retry | B::Cancel, B::Retry, B::Cancel};
    case Buttons::AbortRetryIgnore:
        return {B::Abort | B::Retry | B::Ignore, B::Abort, B::Ignore};
    }
    return {B::Ok, B::Ok, B::Ok};
}

// The answer for a box closed with escape or the window's close button: the box's
// cancelling button, as on the platform the programs came from.
Answer answerFor(int clicked, Buttons buttons) {
    switch (clicked) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Retry:
        return Answer::Retry;
    case QMessageBox::Abort:
        return Answer::Abort;
    case QMessageBox::Ignore:
        return Answer::Ignore;
    default:
        break;
    }
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::YesNo:
        return Answer::No;
    case Buttons::AbortRetryIgnore:
        return Answer::Ignore;
    default:
        return Answer::Cancel;
    }
}

} // namespace

QString displayLines(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

QString qtFilter(const QString& filter) {
    const qsizetype bar = filter.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return filter;
    QString patterns = filter.mid(bar + 1);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // "*.*" means every file, with or without a dot in its name.
    patterns.replace(QStringLiteral("*.*"), QStringLiteral("*"));
    const QString description = filter.left(bar);
    // Qt takes the last parenthesised list of a name filter as its patterns. When the
    // description already ends with exactly these patterns, it is the filter as it is.
    const qsizetype open = description.lastIndexOf(QLatin1Char('('));
    if (open >= 0 && description.endsWith(QLatin1Char(')'))) {
        const QString shown = description.sliced(open + 1, description.size() - open - 2);
        if (shown.split(QLatin1Char(' '), Qt::SkipEmptyParts) ==
            patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            return description;
    }
    return description + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

Answer QtDialogs::messageBox(const MessageBoxRequest& request) {
    const ButtonSet set = qtButtons(request.buttons);
    QString title = request.title;
    if (title.isEmpty())
        title = applicationTitle();
    QMessageBox box(qtIcon(request.icon), title, displayLines(request.text), set.buttons,
                    request.owner);
    box.setDefaultButton(set.defaultButton);
    box.setEscapeButton(set.escapeButton);
    const int clicked = box.exec();
    return answerFor(clicked, request.buttons);
}

FileDialogResult QtDialogs::fileDialog(const FileDialogRequest& request) {
    QFileDialog dialog(request.owner, request.title, request.directory);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    QStringList filters;
    for (const QString& f : request.filters)
        filters << qtFilter(f);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = request.filterIndex >= 1 && request.filterIndex <= filters.size()
                              ? request.filterIndex
                              : 1;
        dialog.selectNameFilter(filters.at(index - 1));
    }
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);

    FileDialogResult result;
    result.filterIndex = request.filterIndex;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return result;
    result.cancelled = false;
    result.path = QFileInfo(dialog.selectedFiles().first()).absoluteFilePath();
    const qsizetype chosen = filters.indexOf(dialog.selectedNameFilter());
    if (chosen >= 0)
        result.filterIndex = static_cast<int>(chosen) + 1;
    return result;
}

bool QtDialogs::shellOpen(const QString& url) {
    return QDesktopServices::openUrl(QUrl::fromUserInput(url, QDir::currentPath()));
}

namespace {

// The standard facade for as long as this library is loaded.
struct StandardQtDialogs {
    QtDialogs facade;
    StandardQtDialogs() { setStandardDialogs(&facade); }
    ~StandardQtDialogs() { setStandardDialogs(nullptr); }
};

const StandardQtDialogs standardQtDialogs;

} // namespace

} // namespace vort::dialogs
