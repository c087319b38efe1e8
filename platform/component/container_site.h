// ContainerSite: what a host offers a control it holds.
//
// The host implements it and hands it to the control with Control::setSite before
// loading the control's properties; the control calls it. Not reference-counted: the
// host keeps the site alive until it has set another site (or null) on the control.
// Called only in the owner's thread.
#pragma once

#include <cstdint>

namespace vort::component {

// The DISPID by which Control::ambientPropertyChanged names UserMode.
inline constexpr int32_t kDispidAmbientUserMode = -709;

class ContainerSite {
public:
    // Ambient UserMode: true while the container runs its program (run mode), false
    // while it is being designed (design mode). A control without a site is in run mode.
    virtual bool userMode() = 0;
    // The bound property dispid has changed its value (a property browser refreshes it).
    virtual void onPropertyChanged(int32_t dispid) = 0;
    // The control's persisted state has changed since it was last loaded or saved.
    virtual void setModified() = 0;

protected:
    ~ContainerSite() = default;
};

} // namespace vort::component
