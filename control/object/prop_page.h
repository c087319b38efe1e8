// CVortPropPage: the control's property page "General".
#pragma once

#include "platform/component/unknown.h"

namespace vort {

// A new property page instance holding one reference, or nullptr.
component::Unknown* createVortPropPage();

} // namespace vort
