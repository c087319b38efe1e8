// Starting the 3964 link from the control, with the operator told when it cannot.
#include "control/object/vort_ctrl.h"
#include "platform/component/text.h"
#include "platform/dialogs/dialogs.h"

namespace vort {

bool CVortCtrl::start3964Link() {
    std::string message;
    if (link_->start(openCommId_, s3964Tq_, s3964Tz_, s3964Retry_, &message))
        return true;
    if (!message.empty()) {
        dialogs::MessageBoxRequest box;
        box.text = QString::fromLatin1(message.c_str());
        box.icon = dialogs::Icon::Exclamation;
        dialogs::dialogs().messageBox(box);
    }
    return false;
}

} // namespace vort
