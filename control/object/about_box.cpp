#include "control/object/vort_ctrl.h"

namespace vort {

void CVortCtrl::AboutBox() {}

} // namespace vort
