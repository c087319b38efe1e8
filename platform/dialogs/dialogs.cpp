// The facade in force and its replacement by tests.
#include "platform/dialogs/dialogs.h"

#include "platform/dialogs/qt_dialogs.h"

#include <QCoreApplication>

namespace vort::dialogs {

namespace {

DialogFacade* installed = nullptr;

QString& programTitle() {
    static QString title;
    return title;
}

} // namespace

void setApplicationTitle(const QString& title) {
    programTitle() = title;
}

QString applicationTitle() {
    if (!programTitle().isEmpty())
        return programTitle();
    return QCoreApplication::applicationName();
}

DialogFacade& dialogs() {
    if (installed)
        return *installed;
    static QtDialogs qt;
    return qt;
}

void setDialogs(DialogFacade* facade) {
    installed = facade;
}

} // namespace vort::dialogs
