// Unknown: the reference-counted base of every interface of the component model, and
// Ref<T>, the smart pointer that holds one reference.
//
// Interfaces are plain abstract C++ classes; a host and a component library are built
// by the same compiler, so their vtables agree. Each interface names itself with a
// Guid (kIid). An object hands out its interfaces through queryInterface, which adds
// a reference; release() of the last reference destroys the object.
//
// Thread rule: an object is used only in the thread that created it (the owner's
// thread). Counts are atomic only so that a stray release elsewhere cannot tear them.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/component/guid.h"
#include "platform/component/result.h"

namespace vort::component {

class Unknown {
public:
    static constexpr Guid kIid = Guid::literal("{F13FEC21-09B9-4F01-A9C7-801380D41B98}");

    // Puts the object's interface iid into *out with one reference added and returns
    // kOk; for an interface the object does not offer, *out = nullptr and kNoInterface.
    // *out holds the pointer to exactly that interface type (cast back with static_cast).
    virtual int32_t queryInterface(const Guid& iid, void** out) = 0;
    // Return the new count (for diagnostics only).
    virtual uint32_t addRef() = 0;
    virtual uint32_t release() = 0;

protected:
    ~Unknown() = default; // objects end through release(), never through delete
};

// Holds one reference to an interface. Null is allowed and tested with bool.
template <class T> class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    // Adds a reference of its own; the caller keeps theirs.
    explicit Ref(T* p) : p_(p) {
        if (p_)
            p_->addRef();
    }
    // Takes over a reference the caller already owns (as queryInterface and
    // createInstance hand them out).
    static Ref adopt(T* p) {
        Ref r;
        r.p_ = p;
        return r;
    }
    Ref(const Ref& o) : p_(o.p_) {
        if (p_)
            p_->addRef();
    }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref() { reset(); }

    void reset() {
        if (T* p = std::exchange(p_, nullptr))
            p->release();
    }
    // Gives up the reference without releasing it.
    T* detach() { return std::exchange(p_, nullptr); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // The object's interface U (U::kIid), or null when it does not offer it.
    template <class U> Ref<U> query() const {
        void* out = nullptr;
        if (!p_ || p_->queryInterface(U::kIid, &out) != kOk || !out)
            return {};
        return Ref<U>::adopt(static_cast<U*>(out));
    }

private:
    T* p_ = nullptr;
};

} // namespace vort::component
