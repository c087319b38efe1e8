// The facade in force and its replacement by tests.
#include "platform/dialogs/dialogs.h"

#include "platform/dialogs/qt_dialogs.h"

namespace vort::dialogs {

namespace {

DialogFacade* installed = nullptr;

} // namespace

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
