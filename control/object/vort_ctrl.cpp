#include "control/object/vort_ctrl.h"

#include <cstdio>

#include "control/events/notify_window.h"
#include "serilon/serilon.h"

namespace vort {

namespace {

constexpr unsigned kReleaseNumber = 69;
constexpr const char* kBuildDate = "Jan 12 2002";
constexpr const char* kBuildTime = "19:15:36";

} // namespace

CVortCtrl::CVortCtrl() : ControlBase(description()), link_(std::make_unique<Link3964>(*this)) {}

CVortCtrl::~CVortCtrl() {
    ClosePort();
    // A job still finishing after the close ends at its next report (the port is
    // closed), so these waits are short.
    transfer_.join();
    dial_.join();
    // The library keeps user slots across close; a slot still naming this control
    // would let a late callback reach freed memory.
    for (int32_t id = 0; id < SERIAL_COMM_IDS; ++id)
        if (SerialGetUserData(id, 0) == reinterpret_cast<intptr_t>(this))
            SerialSetUserData(id, 0, 0);
    setNotificationWindow(nullptr);
}

void CVortCtrl::ensureWindow() {
    if (ownWindow_)
        return;
    ownWindow_ = std::make_unique<ControlWindow>(*this);
    setNotificationWindow(ownWindow_.get());
}

void CVortCtrl::setNotificationWindow(NotificationWindow* window) {
    std::unique_lock lock(windowMutex_);
    window_ = window;
}

NotificationWindow* CVortCtrl::notificationWindow() const {
    std::shared_lock lock(windowMutex_);
    return window_;
}

void CVortCtrl::onSiteChanged() {
    // The window that receives notifications must exist at run time although the
    // control shows nothing then; it lives in the thread that set the site.
    ensureWindow();
}

void CVortCtrl::PostNotification(uint32_t wParam, intptr_t lParam) {
    std::shared_lock lock(windowMutex_);
    if (window_)
        window_->post(wParam, lParam);
}

bool CVortCtrl::jobRunning() const {
    return transfer_.state() != kTransferIdle || dial_.dialling();
}

int32_t CVortCtrl::hWnd() const {
    std::shared_lock lock(windowMutex_);
    return window_ ? window_->handle() : 0;
}

std::u16string CVortCtrl::zRelease() const {
    char text[64];
    std::snprintf(text, sizeof text, "Rel0%u, %s, %s", kReleaseNumber, kBuildDate, kBuildTime);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

} // namespace vort
