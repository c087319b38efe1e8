// DispatchTable<T>: maps the DISPIDs of a dispatch interface to member functions of
// T, so that a component's whole interface is one table and no per-member code.
//
//   const DispatchTable<CThing>& CThing::table() {
//       static const DispatchTable<CThing> t = DispatchTable<CThing>()
//           .property(1, "Break", &CThing::getBreak, &CThing::setBreak,
//                     {.runTimeOnly = true, .declaredType = VT_BOOL, .help = "Sends a Break"})
//           .readOnly(3, "CDHolding", &CThing::getCDHolding, {.runTimeOnly = true})
//           .writeOnly(22, "Output", &CThing::setOutput, {.runTimeOnly = true})
//           .method(55, "ComInput", &CThing::comInput, {"hWnd", "lpData", "cbData"});
//       return t;
//   }
//
// T derives from DispatchObject (usually through ControlBase). Member functions:
//   getter  R get() [const]       R: int16_t, int32_t, bool, std::u16string, Variant
//   setter  void set(P)           P: one of those types, by value or const reference
//   method  R m(A...)             R: those or void; each A one of those types, or
//                                 Variant& for an argument handed back by reference
// The table converts arguments as automation does (Variant::toI4 and friends). A
// member reports the control's errors by throwing ComponentError; any other exception
// becomes kUnexpected (kOutOfMemory for std::bad_alloc). Nothing escapes invoke.
//
// Checks made before a member is called, in this order:
//   unknown DISPID, or a kind the member does not have  -> kDispMemberNotFound (438)
//   wrong number of arguments (a get takes none, a put one, a method its parameters)
//                                                       -> kDispBadParamCount (450)
//   PropertyPut of a read-only property                 -> 383
//   PropertyGet of a write-only property                -> 394
//   run-time-only member while ambient UserMode is false -> 422 (empty description)
//   an argument that does not convert / does not fit    -> kDispTypeMismatch (13) /
//                                                          kDispOverflow (6)
// Building a table with a DISPID or name twice throws std::logic_error (a programming
// error, found by the first test that touches the table). Single-threaded.
#pragma once

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/component/dispatch_object.h"
#include "platform/component/text.h"
#include "platform/component/type_info.h"

namespace vort::component {

// Per-member options of a DispatchTable entry.
struct MemberOptions {
    bool runTimeOnly = false;
    // Left out of the type information (but still callable and found by name).
    bool hidden = false;
    // The type the type information declares, when it differs from the C++ type (a
    // flag carried as I2 but declared BOOL); 0: the C++ type's.
    uint16_t declaredType = 0;
    std::string help;
    // The enumeration whose values the property takes (type information only).
    std::string enumName;
};

namespace detail {

template <class V> struct Convert; // a member type the table does not support fails to compile here

template <> struct Convert<int16_t> {
    static constexpr uint16_t kType = VT_I2;
    static int32_t from(const Variant& v, int16_t& out) {
        int32_t x = 0;
        if (!v.toI4(x))
            return kDispTypeMismatch;
        if (x < INT16_MIN || x > INT16_MAX)
            return kDispOverflow;
        out = static_cast<int16_t>(x);
        return kOk;
    }
    static Variant to(int16_t v) { return Variant::i2(v); }
};

template <> struct Convert<int32_t> {
    static constexpr uint16_t kType = VT_I4;
    static int32_t from(const Variant& v, int32_t& out) {
        return v.toI4(out) ? kOk : kDispTypeMismatch;
    }
    static Variant to(int32_t v) { return Variant::i4(v); }
};

template <> struct Convert<bool> {
    static constexpr uint16_t kType = VT_BOOL;
    static int32_t from(const Variant& v, bool& out) {
        return v.toBool(out) ? kOk : kDispTypeMismatch;
    }
    static Variant to(bool v) { return Variant::boolean(v); }
};

template <> struct Convert<std::u16string> {
    static constexpr uint16_t kType = VT_BSTR;
    static int32_t from(const Variant& v, std::u16string& out) {
        return v.toText(out) ? kOk : kDispTypeMismatch;
    }
    static Variant to(std::u16string v) { return Variant::bstr(std::move(v)); }
};

template <> struct Convert<Variant> {
    static constexpr uint16_t kType = VT_VARIANT;
    // A by-reference argument is passed on as the value it refers to.
    static int32_t from(const Variant& v, Variant& out) {
        if (!v.isRef()) {
            out = v;
            return kOk;
        }
        if (!v.ref())
            return kDispTypeMismatch;
        out = *v.ref();
        return kOk;
    }
    static Variant to(Variant v) { return v; }
};

// One method parameter: a converted copy, or for Variant& the caller's Variant.
template <class A> struct Param {
    static constexpr bool kByRef = std::is_same_v<A, Variant&>;
    using Value = std::remove_cvref_t<A>;
    using Stored = std::conditional_t<kByRef, Variant*, Value>;
    static constexpr uint16_t kType = kByRef ? (VT_BYREF | VT_VARIANT) : Convert<Value>::kType;

    static int32_t load(Variant& arg, Stored& out) {
        if constexpr (kByRef) {
            // A by-reference Variant hands back through its target; a plain one through
            // the argument array itself, which the caller owns too.
            out = arg.isRef() ? arg.ref() : &arg;
            return out ? kOk : kDispTypeMismatch;
        } else {
            return Convert<Value>::from(arg, out);
        }
    }
    static auto& pass(Stored& s) {
        if constexpr (kByRef)
            return *s;
        else
            return s;
    }
};

template <class F> struct MemberFn;
template <class C, class R, class... A> struct MemberFn<R (C::*)(A...)> {
    using Result = R;
    using Args = std::tuple<A...>;
};
template <class C, class R, class... A>
struct MemberFn<R (C::*)(A...) const> : MemberFn<R (C::*)(A...)> {};
template <class C, class R, class... A>
struct MemberFn<R (C::*)(A...) noexcept> : MemberFn<R (C::*)(A...)> {};
template <class C, class R, class... A>
struct MemberFn<R (C::*)(A...) const noexcept> : MemberFn<R (C::*)(A...)> {};

} // namespace detail

template <class T> class DispatchTable final : public DispatchMembers {
public:
    DispatchTable() = default;

    // A property that can be read and written.
    template <class G, class S>
    DispatchTable& property(int32_t dispid, std::string name, G getter, S setter,
                            MemberOptions options = {}) {
        Entry& e = add(dispid, std::move(name), MemberKind::Property, options);
        setGetter(e, getter);
        setSetter(e, setter);
        e.info.access = Access::ReadWrite;
        return *this;
    }

    // A property that can only be read (writing raises 383).
    template <class G>
    DispatchTable& readOnly(int32_t dispid, std::string name, G getter,
                            MemberOptions options = {}) {
        Entry& e = add(dispid, std::move(name), MemberKind::Property, options);
        setGetter(e, getter);
        e.info.access = Access::ReadOnly;
        return *this;
    }

    // A property that can only be written (reading raises 394).
    template <class S>
    DispatchTable& writeOnly(int32_t dispid, std::string name, S setter,
                             MemberOptions options = {}) {
        Entry& e = add(dispid, std::move(name), MemberKind::Property, options);
        setSetter(e, setter);
        e.info.access = Access::WriteOnly;
        return *this;
    }

    // A method; paramNames names its parameters for the type information (missing
    // names are left empty).
    template <class M>
    DispatchTable& method(int32_t dispid, std::string name, M fn,
                          std::vector<std::string> paramNames = {}, MemberOptions options = {}) {
        using Traits = detail::MemberFn<M>;
        Entry& e = add(dispid, std::move(name), MemberKind::Method, options);
        setMethod(e, fn, paramNames, static_cast<typename Traits::Args*>(nullptr));
        return *this;
    }

    // Calls member dispid on self. See the checks at the top of this file.
    InvokeResult invoke(T& self, bool userMode, int32_t dispid, InvokeKind kind,
                        std::span<Variant> args, Variant* result) const {
        auto it = byDispid_.find(dispid);
        if (it == byDispid_.end())
            return InvokeResult::failure(kDispMemberNotFound);
        const Entry& e = entries_[it->second];
        try {
            if (e.info.kind == MemberKind::Property) {
                if (kind == InvokeKind::Method)
                    return InvokeResult::failure(kDispMemberNotFound);
                if (kind == InvokeKind::PropertyGet) {
                    if (!args.empty())
                        return InvokeResult::failure(kDispBadParamCount);
                    if (!e.get)
                        return controlError(kErrGetNotSupported);
                    if (e.info.runTimeOnly && !userMode)
                        return controlError(kErrRuntimeOnly);
                    Variant v = e.get(self);
                    if (result)
                        *result = std::move(v);
                    return InvokeResult::success();
                }
                if (args.size() != 1)
                    return InvokeResult::failure(kDispBadParamCount);
                if (!e.put)
                    return controlError(kErrSetNotSupported);
                if (e.info.runTimeOnly && !userMode)
                    return controlError(kErrRuntimeOnly);
                int32_t code = e.put(self, args[0]);
                return code == kOk ? InvokeResult::success() : InvokeResult::failure(code);
            }
            if (kind != InvokeKind::Method)
                return InvokeResult::failure(kDispMemberNotFound);
            if (args.size() != e.info.params.size())
                return InvokeResult::failure(kDispBadParamCount);
            if (e.info.runTimeOnly && !userMode)
                return controlError(kErrRuntimeOnly);
            int32_t code = e.call(self, args, result);
            return code == kOk ? InvokeResult::success() : InvokeResult::failure(code);
        } catch (const ComponentError& err) {
            return InvokeResult::fromError(err);
        } catch (const std::bad_alloc&) {
            return InvokeResult::failure(kOutOfMemory);
        } catch (const std::exception& ex) {
            InvokeResult r = InvokeResult::failure(kUnexpected);
            r.description = e.info.name + ": " + ex.what();
            return r;
        } catch (...) {
            return InvokeResult::failure(kUnexpected);
        }
    }

    // The DISPID of name (ASCII case ignored): kOk, or kDispUnknownName.
    int32_t idOfName(std::string_view name, int32_t* dispid) const override {
        for (const Entry& e : entries_) {
            if (equalsIgnoreCase(e.info.name, name)) {
                if (dispid)
                    *dispid = e.info.dispid;
                return kOk;
            }
        }
        return kDispUnknownName;
    }

    InvokeResult invokeOn(DispatchObject& self, bool userMode, int32_t dispid, InvokeKind kind,
                          std::span<Variant> args, Variant* result) const override {
        return invoke(static_cast<T&>(self), userMode, dispid, kind, args, result);
    }

    // The type information of the interface: every member not hidden, in table order.
    InterfaceInfo describe(const Guid& iid, std::string name, std::string help) const {
        InterfaceInfo info{iid, std::move(name), std::move(help), {}};
        for (const Entry& e : entries_)
            if (!e.hidden)
                info.members.push_back(e.info);
        return info;
    }

    // The member's description (hidden ones included), or nullptr.
    const MemberInfo* member(int32_t dispid) const {
        auto it = byDispid_.find(dispid);
        return it == byDispid_.end() ? nullptr : &entries_[it->second].info;
    }

private:
    struct Entry {
        MemberInfo info;
        bool hidden = false;
        uint16_t declaredType = 0;
        std::function<Variant(T&)> get;
        std::function<int32_t(T&, const Variant&)> put;
        std::function<int32_t(T&, std::span<Variant>, Variant*)> call;
    };

    static InvokeResult controlError(int32_t number) {
        return InvokeResult::fromError(ComponentError(number, standardErrorText(number)));
    }

    Entry& add(int32_t dispid, std::string name, MemberKind kind, const MemberOptions& o) {
        if (byDispid_.count(dispid))
            throw std::logic_error("dispatch table: DISPID " + std::to_string(dispid) + " twice");
        if (idOfName(name, nullptr) == kOk)
            throw std::logic_error("dispatch table: member " + name + " twice");
        Entry e;
        e.info.dispid = dispid;
        e.info.name = std::move(name);
        e.info.kind = kind;
        e.info.runTimeOnly = o.runTimeOnly;
        e.info.help = o.help;
        e.info.enumName = o.enumName;
        e.hidden = o.hidden;
        e.declaredType = o.declaredType;
        byDispid_[dispid] = entries_.size();
        entries_.push_back(std::move(e));
        return entries_.back();
    }

    static uint16_t declaredOr(const Entry& e, uint16_t type) {
        return e.declaredType ? e.declaredType : type;
    }

    template <class G> void setGetter(Entry& e, G getter) {
        using R = std::remove_cvref_t<typename detail::MemberFn<G>::Result>;
        e.info.type = declaredOr(e, detail::Convert<R>::kType);
        e.get = [getter](T& self) { return detail::Convert<R>::to((self.*getter)()); };
    }

    template <class S> void setSetter(Entry& e, S setter) {
        using Args = typename detail::MemberFn<S>::Args;
        static_assert(std::tuple_size_v<Args> == 1, "a property setter takes one argument");
        using P = std::remove_cvref_t<std::tuple_element_t<0, Args>>;
        if (!e.get)
            e.info.type = declaredOr(e, detail::Convert<P>::kType);
        e.put = [setter](T& self, const Variant& v) {
            P value{};
            int32_t code = detail::Convert<P>::from(v, value);
            if (code != kOk)
                return code;
            (self.*setter)(std::move(value));
            return kOk;
        };
    }

    template <class M, class... A>
    void setMethod(Entry& e, M fn, const std::vector<std::string>& names, std::tuple<A...>*) {
        using R = typename detail::MemberFn<M>::Result;
        if constexpr (std::is_void_v<R>)
            e.info.type = declaredOr(e, VT_EMPTY);
        else
            e.info.type = declaredOr(e, detail::Convert<std::remove_cvref_t<R>>::kType);
        size_t i = 0;
        ((e.info.params.push_back(
              {i < names.size() ? names[i] : std::string(), detail::Param<A>::kType}),
          ++i),
         ...);
        e.call = [fn](T& self, std::span<Variant> args, Variant* result) {
            return callWith<M, A...>(fn, self, args, result, std::index_sequence_for<A...>{});
        };
    }

    template <class M, class... A, size_t... I>
    static int32_t callWith(M fn, T& self, [[maybe_unused]] std::span<Variant> args,
                            Variant* result, std::index_sequence<I...>) {
        std::tuple<typename detail::Param<A>::Stored...> stored;
        int32_t code = kOk;
        ((code = code == kOk ? detail::Param<A>::load(args[I], std::get<I>(stored)) : code), ...);
        if (code != kOk)
            return code;
        using R = typename detail::MemberFn<M>::Result;
        if constexpr (std::is_void_v<R>) {
            (self.*fn)(detail::Param<A>::pass(std::get<I>(stored))...);
        } else {
            Variant v = detail::Convert<std::remove_cvref_t<R>>::to(
                (self.*fn)(detail::Param<A>::pass(std::get<I>(stored))...));
            if (result)
                *result = std::move(v);
        }
        return kOk;
    }

    std::vector<Entry> entries_;
    std::unordered_map<int32_t, size_t> byDispid_;
};

} // namespace vort::component
