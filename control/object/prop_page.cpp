#include "control/object/prop_page.h"

namespace vort {

component::Unknown* createVortPropPage() {
    return nullptr;
}

} // namespace vort
