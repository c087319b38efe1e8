// A Dispatch that passes every call on to a real control and records the property
// writes, so a test sees exactly what a client (the property page) wrote and in which
// order. Lives on the test's stack: its reference count never deletes it.
#pragma once

#include <vector>

#include "platform/component/dispatch.h"

namespace vort::test {

class RecordingDispatch final : public component::Dispatch {
public:
    struct Put {
        int32_t dispid;
        component::Variant value;
    };

    explicit RecordingDispatch(component::Dispatch& target) : target_(target) {}

    int32_t queryInterface(const component::Guid& iid, void** out) override {
        if (iid == component::Unknown::kIid || iid == component::Dispatch::kIid) {
            *out = static_cast<component::Dispatch*>(this);
            return component::kOk;
        }
        *out = nullptr;
        return component::kNoInterface;
    }
    uint32_t addRef() override { return ++refs_; }
    uint32_t release() override { return --refs_; }

    component::InvokeResult invoke(int32_t dispid, component::InvokeKind kind,
                                   std::span<component::Variant> args,
                                   component::Variant* result) override {
        if (kind == component::InvokeKind::PropertyPut && !args.empty())
            puts.push_back({dispid, args[0]});
        return target_.invoke(dispid, kind, args, result);
    }
    int32_t getIdsOfNames(std::string_view name, int32_t* dispid) override {
        return target_.getIdsOfNames(name, dispid);
    }
    const component::InterfaceInfo* typeInfo() override { return target_.typeInfo(); }

    std::vector<Put> puts;
    // References the page still holds.
    uint32_t refs_ = 0;

private:
    component::Dispatch& target_;
};

} // namespace vort::test
