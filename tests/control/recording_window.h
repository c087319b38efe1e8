// A notification window for the control's tests: it keeps the code (the high word of
// wParam) of every notification the control posts, from any of its threads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

#include "control/object/vort_ctrl.h"

namespace vort::test {

class RecordingWindow : public vort::NotificationWindow {
public:
    int32_t handle() const override { return 1; }
    void post(uint32_t wParam, intptr_t) override {
        std::lock_guard lock(mutex_);
        codes_.push_back(static_cast<int16_t>(wParam >> 16));
    }
    std::vector<int16_t> codes() {
        std::lock_guard lock(mutex_);
        return codes_;
    }
    int count(int16_t code) {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(codes_.begin(), codes_.end(), code));
    }
    bool saw(int16_t code) { return count(code) > 0; }
    void clear() {
        std::lock_guard lock(mutex_);
        codes_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<int16_t> codes_;
};

} // namespace vort::test
