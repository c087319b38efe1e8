// The container's site for the control it hosts: the ambient UserMode (run or design
// mode, as the container says), and the control's notices of changed properties and
// of a modified state, passed to whoever listens (the property browser).
// Owner's thread only.
#pragma once

#include <functional>

#include "platform/component/container_site.h"

namespace vort::container {

class HostSite final : public component::ContainerSite {
public:
    bool userMode() override { return runMode; }
    void onPropertyChanged(int32_t dispid) override {
        if (propertyChanged)
            propertyChanged(dispid);
    }
    void setModified() override { modified = true; }

    // true: run mode; false: design mode.
    bool runMode = true;
    // The control's state changed since it was created, loaded or saved.
    bool modified = false;
    std::function<void(int32_t dispid)> propertyChanged;
};

} // namespace vort::container
