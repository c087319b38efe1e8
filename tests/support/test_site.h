// A container site for tests: design or run mode as the test says, and a record of
// the property-changed notices and modified marks the control sends.
#pragma once

#include <vector>

#include "platform/component/container_site.h"

namespace vort::test {

class TestSite final : public component::ContainerSite {
public:
    bool runMode = true;
    std::vector<int32_t> changed;
    int modifiedCount = 0;

    bool userMode() override { return runMode; }
    void onPropertyChanged(int32_t dispid) override { changed.push_back(dispid); }
    void setModified() override { ++modifiedCount; }
};

} // namespace vort::test
