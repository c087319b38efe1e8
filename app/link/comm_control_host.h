// The main window's hold on its serial communication control: CommCtl1 is created by
// the control's class identifier through the component registry (never linked), its
// design property values are loaded from the window's stored design (a property bag
// in the program's resources), and its events are routed to the window's handlers.
//
// GUI thread only; the control's events arrive on that thread while it runs its event
// loop or pumps messages.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/component/component_host.h"
#include "platform/component/container_site.h"
#include "platform/component/dispatch.h"
#include "platform/component/hosted_control.h"

namespace tcu {

// The control could not be had: not registered, library missing or broken, or its
// stored design refused. what() says which; fix() says what the operator can do.
class ControlUnavailable : public std::runtime_error {
public:
    ControlUnavailable(const std::string& reason, QString fix)
        : std::runtime_error(reason), fix_(std::move(fix)) {}
    const QString& fix() const { return fix_; }

private:
    QString fix_;
};

class CommControlHost final : public vort::component::EventSink {
public:
    // Creates the control and loads designBag into it (text property bag). Throws
    // ControlUnavailable.
    explicit CommControlHost(const std::string& designBag);
    ~CommControlHost();
    CommControlHost(const CommControlHost&) = delete;
    CommControlHost& operator=(const CommControlHost&) = delete;

    const vort::component::DispatchProxy& proxy() const { return control_.proxy(); }

    // The window's event handlers; unset ones drop their events.
    std::function<void()> onComm;
    std::function<void(int16_t action, int32_t timeLeft)> onModem;
    std::function<void(int16_t action, int32_t data)> onFileInfo;

    void onEvent(int32_t dispid, std::span<const vort::component::Variant> args) override;

    // The design bag compiled into the program (":/tcu/commctl1.bag").
    static std::string storedDesign();
    // The sentence that tells the operator how to register the control, naming the
    // libvort.so beside the program when there is one.
    static QString registrationFix();

private:
    // The program runs its control in run mode; nothing is saved back.
    class RunModeSite final : public vort::component::ContainerSite {
    public:
        bool userMode() override { return true; }
        void onPropertyChanged(int32_t) override {}
        void setModified() override {}
    };

    RunModeSite site_;
    vort::component::ComponentHost host_;
    vort::component::HostedControl control_;
};

} // namespace tcu
