// Starting the 3964 link from the control, with the operator told when it cannot.
#include "control/object/vort_ctrl.h"
#include "platform/component/text.h"
#include "platform/dialogs/dialogs.h"

namespace vort {

bool CVortCtrl::start3964Link() {
    std::string message;
    const Link3964::Settings settings{.tqMs = s3964Tq_,
                                      .tzMs = s3964Tz_,
                                      .retries = s3964Retry_,
                                      .master = s3964Master_,
                                      .useBcc = s3964UseBcc_};
    if (link_->start(openCommId_, settings, &message))
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
