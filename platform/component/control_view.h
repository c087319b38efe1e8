// ControlView: an optional interface of a control that draws itself inside its
// container, the way a designer shows a control on a form being designed.
//
// A host asks for it with queryInterface(ControlView::kIid); a control without a
// picture does not offer it. The view is a toolkit widget; it crosses this interface
// as void* so that the model stays free of the toolkit (on this platform a QWidget*),
// as PropertyPage does.
//
// The view follows the control's site: what it draws may depend on the ambient
// UserMode, and the host reports a change of it through
// Control::ambientPropertyChanged(kDispidAmbientUserMode) as usual. The view takes no
// reference to the control: once the control is gone it draws nothing and takes no
// keys, so a host may release the control and the widget in either order.
// Called only in the owner's thread.
#pragma once

#include "platform/component/unknown.h"

namespace vort::component {

class ControlView : public Unknown {
public:
    static constexpr Guid kIid = Guid::literal("{82A1ECC4-7FD7-43CF-B7B6-8BF99903FD22}");

    // Creates a new view of the control as a child of parent (non-null) and returns it,
    // owned by parent. Returns nullptr when parent is null or no widget application
    // runs in this process. A control may have several views at once.
    virtual void* createView(void* parent) = 0;

protected:
    ~ControlView() = default;
};

} // namespace vort::component
