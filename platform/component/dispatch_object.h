// DispatchObject: the base of an object that is called through Dispatch.
//
// It keeps the reference count (an object starts with one reference, owned by its
// creator: Ref<T>::adopt(new T(...))), holds a module lock while alive, answers
// queryInterface for Unknown and Dispatch, and sends every invoke and getIdsOfNames to
// its DispatchMembers (a DispatchTable<T>, dispatch_table.h).
//
// Derived classes offer further interfaces by overriding findInterface, and decide
// whether run-time-only members may be used by overriding userMode (ControlBase asks
// its container). Single-threaded (the owner's thread).
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/component/dispatch.h"
#include "platform/component/module.h"

namespace vort::component {

class DispatchObject;

// The members of a dispatch interface, as DispatchObject calls them; implemented by
// DispatchTable<T>.
class DispatchMembers {
public:
    virtual InvokeResult invokeOn(DispatchObject& self, bool userMode, int32_t dispid,
                                  InvokeKind kind, std::span<Variant> args,
                                  Variant* result) const = 0;
    virtual int32_t idOfName(std::string_view name, int32_t* dispid) const = 0;

protected:
    ~DispatchMembers() = default;
};

class DispatchObject : public Dispatch {
public:
    // members must outlive the object (a static table); info may be null.
    DispatchObject(const DispatchMembers& members, const InterfaceInfo* info)
        : members_(members), info_(info) {}
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;
    virtual ~DispatchObject() = default;

    int32_t queryInterface(const Guid& iid, void** out) override;
    uint32_t addRef() override;
    uint32_t release() override;

    InvokeResult invoke(int32_t dispid, InvokeKind kind, std::span<Variant> args,
                        Variant* result) override;
    int32_t getIdsOfNames(std::string_view name, int32_t* dispid) override;
    const InterfaceInfo* typeInfo() override { return info_; }

protected:
    // The pointer to interface iid of this object (no reference added), or nullptr.
    // Overrides handle their own interfaces and call the base for the rest.
    virtual void* findInterface(const Guid& iid);
    // Whether run-time-only members may be used now. A plain object: always.
    virtual bool userMode() { return true; }

    // Holds a reference for a scope, so that a call out of the object (an event
    // handler) that drops the last outside reference cannot delete the object under
    // the code still running in it. Inside the destructor (count 0) it holds nothing,
    // so that it cannot start a second destruction.
    class KeepAlive {
    public:
        explicit KeepAlive(DispatchObject& o) : o_(o), held_(o.refs_.load() > 0) {
            if (held_)
                o_.addRef();
        }
        ~KeepAlive() {
            if (held_)
                o_.release();
        }
        KeepAlive(const KeepAlive&) = delete;
        KeepAlive& operator=(const KeepAlive&) = delete;

    private:
        DispatchObject& o_;
        bool held_;
    };

private:
    std::atomic<uint32_t> refs_{1};
    ModuleLock moduleLock_;
    const DispatchMembers& members_;
    const InterfaceInfo* info_;
};

} // namespace vort::component
